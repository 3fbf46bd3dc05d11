#include "qtxTestDaemon.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace qtx::test {

namespace {

constexpr auto kStartLimit = std::chrono::seconds(30);
constexpr auto kStopLimit = std::chrono::seconds(5);

std::string FindProgram(const std::string& aName) {
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  path += ":/usr/sbin:/usr/bin:/sbin:/bin:/usr/local/sbin:/usr/local/bin";
  std::stringstream folders(path);
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (folder.empty()) continue;
    std::string candidate = folder + "/" + aName;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  throw std::runtime_error("daemon program not installed: " + aName + " (run scripts/setup)");
}

bool Accepts(uint16_t aPort) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(aPort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

}  // namespace

TTestDaemon::TTestDaemon(const std::string& aProgram) : FProgram(FindProgram(aProgram)) {
  std::string pattern = (std::filesystem::temp_directory_path() / "qtx-daemon-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  FFolder = pattern;
}

TTestDaemon::~TTestDaemon() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(FFolder, ignored);
}

void TTestDaemon::WriteFile(const std::string& aName, const std::string& aText) const {
  std::ofstream out(File(aName), std::ios::binary);
  out << aText;
  if (!out) throw std::runtime_error("cannot write " + File(aName));
}

void TTestDaemon::Start(const std::vector<std::string>& aArgs, uint16_t aPort) {
  std::vector<std::string> words{FProgram};
  words.insert(words.end(), aArgs.begin(), aArgs.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  std::string log = File("output.log");
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Its own process group, so forked workers are stopped with it.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  int result = ::posix_spawn(&FPid, FProgram.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (result != 0) {
    FPid = -1;
    throw std::runtime_error("cannot start " + FProgram);
  }

  auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (!Accepts(aPort)) {
    int status;
    if (::waitpid(FPid, &status, WNOHANG) == FPid) {
      FPid = -1;
      throw std::runtime_error(FProgram + " exited before listening:\n" + Output());
    }
    if (std::chrono::steady_clock::now() > deadline) {
      throw std::runtime_error(FProgram + " is not listening on port " + std::to_string(aPort) + ":\n" + Output());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string TTestDaemon::Output() const {
  std::ifstream in(File("output.log"), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void TTestDaemon::Stop() {
  if (FPid <= 0) return;
  ::kill(-FPid, SIGTERM);
  auto deadline = std::chrono::steady_clock::now() + kStopLimit;
  int status;
  while (::waitpid(FPid, &status, WNOHANG) != FPid) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(-FPid, SIGKILL);
      ::waitpid(FPid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Workers that outlived the leader go too.
  ::kill(-FPid, SIGKILL);
  FPid = -1;
}

}  // namespace qtx::test
