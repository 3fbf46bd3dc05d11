#include "qtxTestDaemon.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
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

// A name with a slash is a path and used as given.
std::string FindProgram(const std::string& aName) {
  if (aName.find('/') != std::string::npos) {
    if (::access(aName.c_str(), X_OK) == 0) return aName;
    throw std::runtime_error("program not built or not executable: " + aName);
  }
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

// The child's side of Start: only async-signal-safe calls until the exec.
// The daemon dies with the test (SIGKILL when the thread that started it
// ends), so a crashed or killed test program leaves no server behind.
[[noreturn]] void RunInChild(const std::string& aProgram, char** aArgv, const std::string& aLog, pid_t aParent) {
  ::setpgid(0, 0);
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != aParent) ::_exit(127);
  const int input = ::open("/dev/null", O_RDONLY);
  const int output = ::open(aLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (input < 0 || output < 0 || ::dup2(input, 0) < 0 || ::dup2(output, 1) < 0 || ::dup2(output, 2) < 0) ::_exit(127);
  ::execve(aProgram.c_str(), aArgv, environ);
  constexpr char kMessage[] = "exec failed\n";
  ssize_t ignored = ::write(2, kMessage, sizeof kMessage - 1);
  (void)ignored;
  ::_exit(127);
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

  const std::string log = File("output.log");
  const pid_t parent = ::getpid();
  FPid = ::fork();
  if (FPid < 0) {
    FPid = -1;
    throw std::runtime_error("cannot start " + FProgram);
  }
  if (FPid == 0) RunInChild(FProgram, argv.data(), log, parent);
  // Its own process group (set on both sides of the fork, whichever runs
  // first), so forked workers are stopped with it.
  ::setpgid(FPid, FPid);

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
