#include "qtxTestHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <ctime>
#include <stdexcept>

namespace qtx::test {

namespace {

constexpr size_t kMaxLineBytes = 64 * 1024;
constexpr size_t kMaxHeaderLines = 200;
constexpr size_t kMaxBodyBytes = size_t{256} << 20;
constexpr int kPollStepMs = 50;

// The connection ends without an answer: the peer went or the server stops.
struct TConnectionEnded {};

// The request cannot be read; the connection answers Status and closes.
struct TBadRequest {
  int Status;
  std::string Why;
};

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

std::string_view Trim(std::string_view aText) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!aText.empty() && blank(aText.front())) aText.remove_prefix(1);
  while (!aText.empty() && blank(aText.back())) aText.remove_suffix(1);
  return aText;
}

// Whether the comma-separated list aList holds aToken (any letter case).
bool HasToken(std::string_view aList, std::string_view aToken) {
  while (!aList.empty()) {
    const size_t comma = aList.find(',');
    if (EqualNoCase(Trim(aList.substr(0, comma)), aToken)) return true;
    if (comma == std::string_view::npos) break;
    aList.remove_prefix(comma + 1);
  }
  return false;
}

bool WaitFor(int aFd, short aEvents, const std::atomic<bool>& aStop) {
  pollfd entry{aFd, aEvents, 0};
  while (!aStop.load()) {
    const int result = ::poll(&entry, 1, kPollStepMs);
    if (result > 0) return true;
    if (result < 0 && errno != EINTR) return false;
  }
  return false;
}

// The request side of one connection, buffered.
class TConnectionReader {
public:
  TConnectionReader(int aFd, const std::atomic<bool>& aStop) : FFd(aFd), FStop(aStop) {}

  // False when the peer closes (or the server stops) before a request begins.
  bool WaitForRequest() { return FPos < FBuffer.size() || Fill(); }

  // One line without its CR LF (a bare LF ends a line too).
  std::string ReadLine() {
    while (true) {
      const auto begin = FBuffer.begin() + static_cast<std::ptrdiff_t>(FPos);
      const auto end = std::find(begin, FBuffer.end(), uint8_t{'\n'});
      if (end != FBuffer.end()) {
        std::string line(begin, end);
        FPos += line.size() + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
      }
      if (FBuffer.size() - FPos > kMaxLineBytes) throw TBadRequest{431, "line too long"};
      if (!Fill()) throw TConnectionEnded{};
    }
  }

  void ReadInto(TBytes& aTarget, size_t aCount) {
    if (aTarget.size() + aCount > kMaxBodyBytes) throw TBadRequest{413, "body too large"};
    while (aCount > 0) {
      if (FPos == FBuffer.size() && !Fill()) throw TConnectionEnded{};
      const size_t take = std::min(aCount, FBuffer.size() - FPos);
      aTarget.insert(aTarget.end(), FBuffer.begin() + static_cast<std::ptrdiff_t>(FPos),
                     FBuffer.begin() + static_cast<std::ptrdiff_t>(FPos + take));
      FPos += take;
      aCount -= take;
    }
  }

private:
  bool Fill() {
    if (FPos > 0) {
      FBuffer.erase(FBuffer.begin(), FBuffer.begin() + static_cast<std::ptrdiff_t>(FPos));
      FPos = 0;
    }
    uint8_t block[65536];
    while (WaitFor(FFd, POLLIN, FStop)) {
      const ssize_t got = ::recv(FFd, block, sizeof block, 0);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      FBuffer.insert(FBuffer.end(), block, block + got);
      return true;
    }
    return false;
  }

  int FFd;
  const std::atomic<bool>& FStop;
  TBytes FBuffer;
  size_t FPos = 0;
};

size_t ParseSize(std::string_view aText, int aBase) {
  size_t value = 0;
  const auto [end, error] = std::from_chars(aText.data(), aText.data() + aText.size(), value, aBase);
  if (aText.empty() || error != std::errc() || end != aText.data() + aText.size()) {
    throw TBadRequest{400, "bad length \"" + std::string(aText) + "\""};
  }
  return value;
}

void ReadChunkedBody(TConnectionReader& aReader, TBytes& aBody) {
  while (true) {
    const std::string line = aReader.ReadLine();
    const size_t size = ParseSize(Trim(std::string_view(line).substr(0, line.find(';'))), 16);
    if (size == 0) break;
    aReader.ReadInto(aBody, size);
    if (!aReader.ReadLine().empty()) throw TBadRequest{400, "chunk longer than its size"};
  }
  while (!aReader.ReadLine().empty()) {
  }  // trailer lines
}

// Reads one request; aContinue is called when the client waits for "100 Continue".
TTestHttpRequest ReadRequest(TConnectionReader& aReader, const std::function<void()>& aContinue) {
  TTestHttpRequest request;
  std::string line;
  do {
    line = aReader.ReadLine();  // empty lines before a request are allowed
  } while (line.empty());
  const size_t first = line.find(' ');
  const size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
  if (second == std::string::npos) throw TBadRequest{400, "bad request line"};
  request.Method = line.substr(0, first);
  request.Target = line.substr(first + 1, second - first - 1);
  request.Version = line.substr(second + 1);
  if (request.Method.empty() || request.Target.empty() ||
      (request.Version != "HTTP/1.1" && request.Version != "HTTP/1.0")) {
    throw TBadRequest{400, "bad request line"};
  }
  while (!(line = aReader.ReadLine()).empty()) {
    if (request.HeaderLines.size() == kMaxHeaderLines) throw TBadRequest{431, "too many header lines"};
    if (line.front() == ' ' || line.front() == '\t' || line.find(':') == std::string::npos) {
      throw TBadRequest{400, "bad header line"};
    }
    request.HeaderLines.push_back(line);
  }

  const auto encoding = request.Header("Transfer-Encoding");
  const auto length = request.Header("Content-Length");
  size_t bodyLength = 0;
  if (encoding) {
    const size_t comma = encoding->rfind(',');
    if (!EqualNoCase(Trim(comma == std::string::npos ? *encoding : encoding->substr(comma + 1)), "chunked")) {
      throw TBadRequest{501, "transfer coding not understood"};
    }
    request.Chunked = true;
  } else if (length) {
    bodyLength = ParseSize(*length, 10);
  }
  const auto expect = request.Header("Expect");
  if (expect && EqualNoCase(*expect, "100-continue") && request.Version == "HTTP/1.1" &&
      (request.Chunked || bodyLength > 0)) {
    aContinue();
  }
  if (request.Chunked) {
    ReadChunkedBody(aReader, request.Body);
  } else {
    aReader.ReadInto(request.Body, bodyLength);
  }
  return request;
}

std::string HttpDate() {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc.tm_wday], utc.tm_mday,
                kMonths[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
  return text;
}

}  // namespace

std::string_view ReasonPhrase(int aStatus) {
  switch (aStatus) {
    case 100: return "Continue";
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 413: return "Payload Too Large";
    case 415: return "Unsupported Media Type";
    case 422: return "Unprocessable Entity";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "Unknown";
  }
}

std::string TTestHttpRequest::Path() const { return Target.substr(0, Target.find('?')); }

std::string TTestHttpRequest::Query() const {
  const size_t mark = Target.find('?');
  return mark == std::string::npos ? std::string() : Target.substr(mark + 1);
}

std::optional<std::string> TTestHttpRequest::Header(std::string_view aName) const {
  for (const std::string& line : HeaderLines) {
    const size_t colon = line.find(':');
    if (colon != std::string::npos && EqualNoCase(std::string_view(line).substr(0, colon), aName)) {
      return std::string(Trim(std::string_view(line).substr(colon + 1)));
    }
  }
  return std::nullopt;
}

bool TTestHttpRequest::KeepAlive() const {
  const std::string connection = Header("Connection").value_or("");
  if (HasToken(connection, "close")) return false;
  return Version == "HTTP/1.1" || HasToken(connection, "keep-alive");
}

TTestHttpExchange::TTestHttpExchange(TTestHttpServer& aServer, int aFd, bool aHttp11, bool aKeepAlive)
    : FServer(aServer), FFd(aFd), FHttp11(aHttp11), FKeepAlive(aKeepAlive) {}

void TTestHttpExchange::Send(std::string_view aBytes) {
  size_t done = 0;
  while (done < aBytes.size()) {
    if (!WaitFor(FFd, POLLOUT, FServer.FStop)) throw TConnectionEnded{};
    const ssize_t sent = ::send(FFd, aBytes.data() + done, aBytes.size() - done, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0) throw TConnectionEnded{};
    done += static_cast<size_t>(sent);
  }
}

std::string TTestHttpExchange::Head(int aStatus, const std::vector<std::string>& aHeaders,
                                    const std::string& aFraming) const {
  std::string head = "HTTP/1.1 " + std::to_string(aStatus) + " " + std::string(ReasonPhrase(aStatus)) + "\r\n";
  head += "Date: " + HttpDate() + "\r\n";
  for (const std::string& line : aHeaders) head += line + "\r\n";
  head += aFraming;
  head += FKeepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
  return head;
}

void TTestHttpExchange::Answer(int aStatus, const std::vector<std::string>& aHeaders, std::string_view aBody) {
  if (FState != TState::Idle) throw std::logic_error("the request has been answered");
  FState = TState::Done;
  Send(Head(aStatus, aHeaders, "Content-Length: " + std::to_string(aBody.size()) + "\r\n") + std::string(aBody));
}

void TTestHttpExchange::Answer(int aStatus, const std::vector<std::string>& aHeaders, const TBytes& aBody) {
  Answer(aStatus, aHeaders, std::string_view(reinterpret_cast<const char*>(aBody.data()), aBody.size()));
}

void TTestHttpExchange::BeginStream(int aStatus, const std::vector<std::string>& aHeaders) {
  if (FState != TState::Idle) throw std::logic_error("the request has been answered");
  FState = TState::Streaming;
  if (!FHttp11) FKeepAlive = false;  // the close ends the body
  Send(Head(aStatus, aHeaders, FHttp11 ? "Transfer-Encoding: chunked\r\n" : ""));
}

void TTestHttpExchange::Write(std::string_view aBytes) {
  if (FState != TState::Streaming) throw std::logic_error("no stream has begun");
  if (aBytes.empty()) return;  // an empty chunk would end the body
  if (!FHttp11) return Send(aBytes);
  char size[20];
  const auto end = std::to_chars(size, size + sizeof size, aBytes.size(), 16).ptr;
  Send(std::string(size, end) + "\r\n" + std::string(aBytes) + "\r\n");
}

void TTestHttpExchange::EndStream() {
  if (FState != TState::Streaming) throw std::logic_error("no stream has begun");
  FState = TState::Done;
  if (FHttp11) Send("0\r\n\r\n");
}

void TTestHttpExchange::Drop() {
  FState = TState::Closed;
  FKeepAlive = false;
}

bool TTestHttpExchange::Pause(int aMs) { return FServer.WaitStop(aMs); }

TTestHttpServer::TTestHttpServer(THandler aHandler, uint16_t aPort, bool aRecord)
    : FHandler(std::move(aHandler)), FRecord(aRecord) {
  FListenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (FListenFd < 0) throw std::runtime_error(std::string("test HTTP server: socket: ") + std::strerror(errno));
  const int on = 1;
  ::setsockopt(FListenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(aPort);
  socklen_t length = sizeof address;
  if (::bind(FListenFd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(FListenFd, 64) != 0) {
    const std::string why = std::strerror(errno);
    ::close(FListenFd);
    throw std::runtime_error("test HTTP server: cannot listen on 127.0.0.1:" + std::to_string(aPort) + ": " + why);
  }
  ::getsockname(FListenFd, reinterpret_cast<sockaddr*>(&address), &length);
  FPort = ntohs(address.sin_port);
  FAcceptThread = std::thread([this] { AcceptLoop(); });
}

TTestHttpServer::~TTestHttpServer() { Stop(); }

void TTestHttpServer::Stop() {
  {
    std::lock_guard guard(FLock);
    FStop = true;
  }
  FChanged.notify_all();
  if (FAcceptThread.joinable()) FAcceptThread.join();
  for (TWorker& worker : FWorkers) worker.Thread.join();
  FWorkers.clear();
  if (FListenFd >= 0) ::close(FListenFd);
  FListenFd = -1;
}

std::string TTestHttpServer::Url(std::string_view aPath) const {
  return "http://127.0.0.1:" + std::to_string(FPort) + std::string(aPath);
}

std::vector<TTestHttpRequest> TTestHttpServer::Requests() const {
  std::lock_guard guard(FLock);
  return FRequests;
}

bool TTestHttpServer::WaitForRequests(size_t aCount, int aTimeoutMs) const {
  std::unique_lock guard(FLock);
  return FChanged.wait_for(guard, std::chrono::milliseconds(aTimeoutMs), [&] { return FRequests.size() >= aCount; });
}

bool TTestHttpServer::WaitStop(int aMs) {
  std::unique_lock guard(FLock);
  return !FChanged.wait_for(guard, std::chrono::milliseconds(aMs), [this] { return FStop.load(); });
}

void TTestHttpServer::Record(const TTestHttpRequest& aRequest) {
  if (!FRecord) return;
  {
    std::lock_guard guard(FLock);
    FRequests.push_back(aRequest);
  }
  FChanged.notify_all();
}

void TTestHttpServer::AcceptLoop() {
  while (WaitFor(FListenFd, POLLIN, FStop)) {
    const int fd = ::accept4(FListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);  // each write goes out as written
    const int connection = ++FConnections;
    auto finished = std::make_shared<std::atomic<bool>>(false);
    FWorkers.push_back({std::thread([this, fd, connection, finished] {
                          Serve(fd, connection);
                          *finished = true;
                        }),
                        finished});
    FWorkers.remove_if([](TWorker& aWorker) {
      if (!aWorker.Finished->load()) return false;
      aWorker.Thread.join();
      return true;
    });
  }
}

void TTestHttpServer::Serve(int aFd, int aConnection) {
  TConnectionReader reader(aFd, FStop);
  try {
    while (reader.WaitForRequest()) {
      TTestHttpRequest request;
      try {
        request = ReadRequest(reader,
                              [&] { TTestHttpExchange(*this, aFd, true, true).Send("HTTP/1.1 100 Continue\r\n\r\n"); });
      } catch (const TBadRequest& bad) {
        TTestHttpExchange(*this, aFd, true, false).Answer(bad.Status, {"Content-Type: text/plain"}, bad.Why + "\n");
        break;
      }
      request.Connection = aConnection;
      Record(request);
      TTestHttpExchange exchange(*this, aFd, request.Version == "HTTP/1.1", request.KeepAlive());
      try {
        FHandler(request, exchange);
      } catch (const std::exception& e) {
        if (exchange.FState != TTestHttpExchange::TState::Idle) break;
        exchange.FKeepAlive = false;
        exchange.Answer(500, {"Content-Type: text/plain"},
                        std::string("test server handler failed: ") + e.what() + "\n");
      }
      if (exchange.FState == TTestHttpExchange::TState::Idle) {
        exchange.Answer(500, {"Content-Type: text/plain"}, "test server handler gave no answer\n");
      }
      if (exchange.FState == TTestHttpExchange::TState::Streaming) exchange.EndStream();
      if (exchange.FState != TTestHttpExchange::TState::Done || !exchange.FKeepAlive) break;
    }
  } catch (const TConnectionEnded&) {
  }
  ::close(aFd);
}

}  // namespace qtx::test
