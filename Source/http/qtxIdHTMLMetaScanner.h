#pragma once
// Finds the http-equiv headers and the charset that the meta tags in the head
// of an HTML page declare.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qtx {

struct TIdHTMLMetaInfo {
  std::vector<std::pair<std::string, std::string>> Headers;  // name, content
  std::string CharSet;                                        // of <meta charset=...>
};

// Only tags after <html> count; <head> starts the search, <title> or <body>
// before it or </head>, <body> inside it end it. Comments are skipped, and so
// are the contents of <title> and <script>.
TIdHTMLMetaInfo ScanHTMLMeta(std::string_view aHTML);

}  // namespace qtx
