#pragma once
// The table of file extensions and MIME types that gives uploaded files their
// content type. Filled on first use from a built-in list; the first line for
// an extension wins.

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/qtxStrings.h"

namespace qtx {

class TIdMimeTable {
public:
  using TIdBuildCacheEvent = std::function<void(TIdMimeTable& aSender)>;

  TIdMimeTable() = default;

  // Fills the table: through OnBuildCache when set, else from the built-in list.
  void BuildCache();
  // Adds a pair; a "." is put before an extension that lacks one. With
  // aRaiseOnError an empty extension or type, or a known extension, raises
  // EIdException; without it such a pair is skipped.
  void AddMimeType(std::string_view aExt, std::string_view aMIMEType, bool aRaiseOnError = true);
  // The type of a file name by its extension; "application/octet-stream"
  // when the extension is missing or unknown.
  std::string GetFileMIMEType(std::string_view aFileName);
  // The first extension of a type, or empty.
  std::string GetDefaultFileExt(std::string_view aMIMEType);
  // Lines "ext" + separator + "type".
  void LoadFromStrings(const TStrings& aMimeList, char aMimeSeparator = '=');
  void SaveToStrings(TStrings& aMimeList, char aMimeSeparator = '=') const;

  // Recorded only: the built-in list is all that is loaded.
  bool LoadTypesFromOS() const noexcept { return FLoadTypesFromOS; }
  void SetLoadTypesFromOS(bool aValue) noexcept { FLoadTypesFromOS = aValue; }

  int Count() const noexcept { return static_cast<int>(FFileExt.size()); }
  const std::string& FileExt(int aIndex) const { return FFileExt.at(static_cast<size_t>(aIndex)); }
  const std::string& FileMIME(int aIndex) const { return FFileMIMEs.at(static_cast<size_t>(aIndex)); }

  TIdBuildCacheEvent OnBuildCache;

private:
  void EnsureBuilt();
  void Clear();
  void AddPair(std::string_view aExt, std::string_view aMIMEType, bool aRaiseOnError);

  std::vector<std::string> FFileExt;
  std::vector<std::string> FFileMIMEs;
  std::unordered_map<std::string, size_t> FExtIndex;
  bool FBuilt = false;
  bool FLoadTypesFromOS = true;
};

// The MIME type of a file name from a filled table.
std::string GetMIMETypeFromFile(std::string_view aFileName);

}  // namespace qtx
