#include "qtxTestNginx.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "qtxTestPasswordFiles.h"
#include "qtxTestSockets.h"
#include "qtxTestCertificates.h"

namespace qtx::test {

static_assert(TTestNginx::kSmallBody.size() == 100);

namespace {

constexpr const char* kEchoModule = "/usr/lib/nginx/modules/ngx_http_echo_module.so";

// The settings that do not depend on the test: one process that stays in
// the foreground, every path inside aFolder, connections kept for any
// number of requests, bodies of any size kept in one buffer for /echo.
std::string MainConfiguration(const std::string& aFolder) {
  return "load_module " + std::string(kEchoModule) + ";\n"
         "daemon off;\n"
         "master_process off;\n"
         "pid " + aFolder + "/nginx.pid;\n"
         "error_log stderr warn;\n"
         "events { worker_connections 1024; }\n"
         "http {\n"
         "  access_log off;\n"
         "  client_body_temp_path " + aFolder + "/body;\n"
         "  proxy_temp_path " + aFolder + "/proxy;\n"
         "  fastcgi_temp_path " + aFolder + "/fastcgi;\n"
         "  uwsgi_temp_path " + aFolder + "/uwsgi;\n"
         "  scgi_temp_path " + aFolder + "/scgi;\n"
         "  default_type application/octet-stream;\n"
         "  types { text/html html htm; text/plain txt; application/json json; text/xml xml; }\n"
         "  sendfile on;\n"
         "  tcp_nopush on;\n"
         "  keepalive_requests 1000000;\n"
         "  keepalive_timeout 300s;\n"
         "  client_max_body_size 0;\n"
         "  client_body_buffer_size 1m;\n"
         "  client_body_in_single_buffer on;\n"
         "  if_modified_since before;\n"
         "  map $arg_to $qtx_redirect_target { \"\" /echo; default $arg_to; }\n";
}

// The ready locations (see the header).
std::string ReadyLocations(const std::string& aFolder) {
  const std::string files = aFolder + "/www/files/";
  std::string text =
      "    location = /qtx-nothing { internal; return 200 \"\"; }\n"
      "    location /chunked/ { alias " + files + "; addition_types *; add_after_body /qtx-nothing; }\n"
      "    location /gzip/ { alias " + files + "; gzip on; gzip_types *; gzip_min_length 0;"
      " gzip_http_version 1.0; gzip_proxied any; gzip_vary on; }\n"
      "    location /echo { default_type text/plain; echo_read_request_body;"
      " echo -n $echo_client_request_headers; echo_request_body; }\n"
      "    location /basic/ { auth_basic \"" + std::string(TTestNginx::kBasicRealm) + "\";"
      " auth_basic_user_file " + aFolder + "/htpasswd; default_type text/plain; echo \"user $remote_user\"; }\n"
      "    location = /cookies { default_type text/plain;"
      " add_header Set-Cookie \"session=abc123; Path=/\"; add_header Set-Cookie \"theme=dark; Path=/; HttpOnly\";"
      " return 200 \"cookies set\\n\"; }\n"
      "    location = /cookies/redirect { add_header Set-Cookie \"hop=1; Path=/\"; return 302 /echo; }\n"
      "    location = /loop { return 302 /loop; }\n";

  text += "    location = /chunked { default_type text/plain;";
  for (std::string_view chunk : TTestNginx::kChunks) text += " echo -n \"" + std::string(chunk) + "\"; echo_flush;";
  text += " }\n";
  for (int code : TTestNginx::kStatusCodes) {
    const std::string number = std::to_string(code);
    text += "    location = /status/" + number + " { default_type text/plain; return " + number +
            (code == 204 ? "" : " \"status " + number + "\\n\"") + "; }\n";
  }
  for (int code : {301, 302, 303, 307, 308}) {
    const std::string number = std::to_string(code);
    text += "    location = /redirect/" + number + " { return " + number + " $qtx_redirect_target; }\n";
  }
  for (int link = 1; link <= TTestNginx::kChainLength; ++link) {
    const std::string next = link == 1 ? "/echo" : "/chain/" + std::to_string(link - 1);
    text += "    location = /chain/" + std::to_string(link) + " { return 302 " + next + "; }\n";
  }
  return text;
}

}  // namespace

TTestNginx::TTestNginx() : FPort(FreeLoopbackPort()) {
  std::filesystem::create_directories(FilesFolder());
  AddFile("small", kSmallBody);
  FDaemon.WriteFile("htpasswd", "");
}

void TTestNginx::RequireNotStarted() const {
  if (FStarted) throw std::logic_error("nginx is running: configure it before Start");
}

void TTestNginx::EnableTls() {
  RequireNotStarted();
  FTlsPort = FreeLoopbackPort();
}

void TTestNginx::AddProxy(const std::string& aPrefix, uint16_t aPort) {
  AddConfig("location " + aPrefix + " {\n"
            "  proxy_pass http://127.0.0.1:" + std::to_string(aPort) + ";\n"
            "  proxy_http_version 1.1;\n"
            "  proxy_set_header Connection \"\";\n"
            "  proxy_buffering off;\n"
            "  proxy_request_buffering off;\n"
            "  proxy_read_timeout 300s;\n"
            "}\n");
}

void TTestNginx::AddConfig(const std::string& aText) {
  RequireNotStarted();
  FExtraConfig += aText + "\n";
}

void TTestNginx::AddFile(const std::string& aName, std::string_view aContent) const {
  const std::filesystem::path path = FilesFolder() + "/" + aName;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(aContent.data(), static_cast<std::streamsize>(aContent.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void TTestNginx::AddSparseFile(const std::string& aName, uint64_t aSize) const {
  AddFile(aName, "");
  std::filesystem::resize_file(FilesFolder() + "/" + aName, aSize);
}

void TTestNginx::AddUser(const std::string& aName, const std::string& aPassword) {
  FUsers.push_back(HtpasswdLine(aName, aPassword));
  std::string text;
  for (const auto& line : FUsers) text += line + "\n";
  FDaemon.WriteFile("htpasswd", text);
}

std::string TTestNginx::Configuration() const {
  std::string text = MainConfiguration(FDaemon.Folder());
  text += "  server {\n"
          "    listen 127.0.0.1:" + std::to_string(FPort) + ";\n";
  if (FTlsPort != 0) {
    const TTestCertificates& pki = TTestCertificates::Get();
    text += "    listen 127.0.0.1:" + std::to_string(FTlsPort) + " ssl;\n"
            "    ssl_certificate " + pki.ServerCert + ";\n"
            "    ssl_certificate_key " + pki.ServerKey + ";\n"
            "    ssl_protocols TLSv1.2 TLSv1.3;\n";
  }
  text += "    server_name localhost;\n"
          "    root " + FDaemon.Folder() + "/www;\n"
          "    absolute_redirect off;\n";
  text += ReadyLocations(FDaemon.Folder());
  text += FExtraConfig;
  text += "  }\n}\n";
  return text;
}

void TTestNginx::Start() {
  RequireNotStarted();
  FDaemon.WriteFile("nginx.conf", Configuration());
  FStarted = true;
  FDaemon.Start({"-p", FDaemon.Folder() + "/", "-c", FDaemon.File("nginx.conf")}, FPort);
}

std::string TTestNginx::Url(std::string_view aPath) const {
  return "http://127.0.0.1:" + std::to_string(FPort) + std::string(aPath);
}

std::string TTestNginx::TlsUrl(std::string_view aPath) const {
  if (FTlsPort == 0) throw std::logic_error("nginx has no TLS port: call EnableTls before Start");
  return "https://localhost:" + std::to_string(FTlsPort) + std::string(aPath);
}

std::string EchoedHeader(const std::string& aEcho, const std::string& aName) {
  const size_t start = aEcho.find("\r\n" + aName + ": ");
  if (start == std::string::npos) return {};
  const size_t value = start + aName.size() + 4;
  return aEcho.substr(value, aEcho.find("\r\n", value) - value);
}

}  // namespace qtx::test
