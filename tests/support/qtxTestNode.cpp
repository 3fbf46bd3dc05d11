#include "qtxTestNode.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <stdexcept>

#include "qtxTestSockets.h"

extern char** environ;

namespace qtx::test {

namespace {

// The child's side of RunNode: only async-signal-safe calls until the exec.
[[noreturn]] void RunInChild(char** aArgv, char** aEnvironment, int aOutput, int aErrors, pid_t aParent) {
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // dies with the test program
  if (::getppid() != aParent) ::_exit(127);
  const int input = ::open("/dev/null", O_RDONLY);
  if (input < 0 || ::dup2(input, 0) < 0 || ::dup2(aOutput, 1) < 0 || ::dup2(aErrors, 2) < 0) ::_exit(127);
  ::execvpe(aArgv[0], aArgv, aEnvironment);
  constexpr char kMessage[] = "cannot run node: is Node.js installed?\n";
  ssize_t ignored = ::write(2, kMessage, sizeof kMessage - 1);
  (void)ignored;
  ::_exit(127);
}

// The test's environment with aAdded put over it.
std::vector<std::string> Environment(const std::vector<std::string>& aAdded) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('=') + 1);
    bool replaced = false;
    for (const std::string& added : aAdded) replaced = replaced || added.rfind(name, 0) == 0;
    if (!replaced) entries.push_back(text);
  }
  entries.insert(entries.end(), aAdded.begin(), aAdded.end());
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& aWords) {
  std::vector<char*> pointers;
  for (std::string& word : aWords) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

std::string NodeFolder() {
  const std::string folder = QTX_TEST_NODE_DIR;
  for (const char* package : {"openai", "@dwmkerr/mock-llm"}) {
    if (!std::filesystem::exists(folder + "/node_modules/" + package + "/package.json")) {
      throw std::runtime_error(std::string("npm package ") + package + " is not installed in " + folder +
                               " (run scripts/setup)");
    }
  }
  return folder;
}

std::string TNodeRun::Describe() const {
  return "exit code " + std::to_string(ExitCode) + "\n--- standard output:\n" + Output + "\n--- standard error:\n" +
         Errors;
}

TNodeRun RunNode(const std::string& aScript, const std::vector<std::string>& aArgs,
                 const std::vector<std::string>& aEnvironment, int aTimeoutSeconds) {
  std::vector<std::string> words{"node", NodeFolder() + "/" + aScript};
  words.insert(words.end(), aArgs.begin(), aArgs.end());
  std::vector<std::string> environment = Environment(aEnvironment);
  std::vector<char*> argv = Pointers(words);
  std::vector<char*> envp = Pointers(environment);

  int output[2];
  int errors[2];
  if (::pipe2(output, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
  if (::pipe2(errors, O_CLOEXEC) != 0) {
    ::close(output[0]);
    ::close(output[1]);
    throw std::runtime_error("cannot make a pipe");
  }
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child == 0) RunInChild(argv.data(), envp.data(), output[1], errors[1], parent);
  ::close(output[1]);
  ::close(errors[1]);
  if (child < 0) {
    ::close(output[0]);
    ::close(errors[0]);
    throw std::runtime_error("cannot start node");
  }

  TNodeRun run;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(aTimeoutSeconds);
  pollfd pipes[2] = {{output[0], POLLIN, 0}, {errors[0], POLLIN, 0}};
  std::string* texts[2] = {&run.Output, &run.Errors};
  bool killed = false;
  while (pipes[0].fd >= 0 || pipes[1].fd >= 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ::kill(child, SIGKILL);
      killed = true;
      break;
    }
    if (::poll(pipes, 2, static_cast<int>(std::min<long>(left.count(), 1000))) < 0 && errno != EINTR) break;
    for (int index = 0; index < 2; ++index) {
      if (pipes[index].fd < 0 || pipes[index].revents == 0) continue;
      char block[65536];
      const ssize_t got = ::read(pipes[index].fd, block, sizeof block);
      if (got > 0) {
        texts[index]->append(block, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        ::close(pipes[index].fd);
        pipes[index].fd = -1;
      }
    }
  }
  for (const pollfd& pipe : pipes) {
    if (pipe.fd >= 0) ::close(pipe.fd);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  run.ExitCode = !killed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (killed) run.Errors += "\n(killed after " + std::to_string(aTimeoutSeconds) + " s)";
  return run;
}

TTestMockLlm::TTestMockLlm() : FPort(FreeLoopbackPort()) {
  const std::string folder = NodeFolder();
  FDaemon.Start({"HOST=127.0.0.1", "PORT=" + std::to_string(FPort), "node",
                 folder + "/node_modules/@dwmkerr/mock-llm/dist/main.js", "--config", folder + "/mock-llm.yaml"},
                FPort);
}

std::string TTestMockLlm::Url(std::string_view aPath) const {
  return "http://127.0.0.1:" + std::to_string(FPort) + std::string(aPath);
}

}  // namespace qtx::test
