#include "qtxTestChatProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace qtx::test {
namespace {

using TClock = std::chrono::steady_clock;

// The program's argument and environment arrays, made before the fork: the
// child of a process with threads may not allocate before exec.
class TCommand {
public:
  TCommand(const std::string& aProgram, const std::vector<std::string>& aArguments, const TEnvironment& aEnvironment)
      : FProgram(aProgram), FArguments(aArguments) {
    FArguments.insert(FArguments.begin(), aProgram);
    for (const auto& [name, value] : aEnvironment) FEnvironment.push_back(name + "=" + value);
    for (std::string& argument : FArguments) FArgv.push_back(argument.data());
    FArgv.push_back(nullptr);
    for (std::string& line : FEnvironment) FEnvp.push_back(line.data());
    FEnvp.push_back(nullptr);
  }

  // In the child: never returns.
  [[noreturn]] void Exec() {
    execve(FProgram.c_str(), FArgv.data(), FEnvp.data());
    _exit(127);
  }

private:
  std::string FProgram;
  std::vector<std::string> FArguments;
  std::vector<std::string> FEnvironment;
  std::vector<char*> FArgv;
  std::vector<char*> FEnvp;
};

int ExitStatus(int aWaitStatus) { return WIFEXITED(aWaitStatus) ? WEXITSTATUS(aWaitStatus) : -1; }

// Waits for aChild until aDeadline; kills it past the deadline.
int WaitChild(pid_t aChild, TClock::time_point aDeadline) {
  int status = 0;
  while (waitpid(aChild, &status, WNOHANG) == 0) {
    if (TClock::now() > aDeadline) {
      kill(aChild, SIGKILL);
      waitpid(aChild, &status, 0);
      throw std::runtime_error("qtx-chat did not end in time");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ExitStatus(status);
}

int PollMs(TClock::time_point aDeadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(aDeadline - TClock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 1000));
}

}  // namespace

TChatRun RunChatProgram(const std::string& aProgram, const std::vector<std::string>& aArguments,
                        const TEnvironment& aEnvironment, const std::string& aInput, std::chrono::seconds aTimeout) {
  int input[2], output[2], error[2];
  if (pipe2(input, O_CLOEXEC) || pipe2(output, O_CLOEXEC) || pipe2(error, O_CLOEXEC))
    throw std::runtime_error("pipe failed");
  TCommand command(aProgram, aArguments, aEnvironment);
  const pid_t child = fork();
  if (child == 0) {
    dup2(input[0], STDIN_FILENO);
    dup2(output[1], STDOUT_FILENO);
    dup2(error[1], STDERR_FILENO);
    command.Exec();
  }
  close(input[0]);
  close(output[1]);
  close(error[1]);
  // The inputs are small: they fit the pipe, so writing them first cannot block.
  signal(SIGPIPE, SIG_IGN);  // a program that fails before reading closes its input early
  for (size_t written = 0; written < aInput.size();) {
    const ssize_t put = write(input[1], aInput.data() + written, aInput.size() - written);
    if (put <= 0) break;
    written += static_cast<size_t>(put);
  }
  close(input[1]);

  TChatRun run;
  const auto deadline = TClock::now() + aTimeout;
  pollfd streams[2] = {{output[0], POLLIN, 0}, {error[0], POLLIN, 0}};
  std::string* texts[2] = {&run.Out, &run.Err};
  int open = 2;
  while (open > 0 && TClock::now() < deadline) {
    if (poll(streams, 2, PollMs(deadline)) <= 0) continue;
    for (int index = 0; index < 2; ++index) {
      if (streams[index].fd < 0 || !(streams[index].revents & (POLLIN | POLLHUP))) continue;
      char buffer[4096];
      const ssize_t got = read(streams[index].fd, buffer, sizeof buffer);
      if (got > 0) {
        texts[index]->append(buffer, static_cast<size_t>(got));
      } else {
        close(streams[index].fd);
        streams[index].fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& stream : streams)
    if (stream.fd >= 0) close(stream.fd);
  run.Status = WaitChild(child, deadline);
  return run;
}

TChatTerminal::TChatTerminal(const std::string& aProgram, const std::vector<std::string>& aArguments,
                             const TEnvironment& aEnvironment) {
  TCommand command(aProgram, aArguments, aEnvironment);
  FChild = forkpty(&FTerminal, nullptr, nullptr, nullptr);
  if (FChild < 0) throw std::runtime_error("forkpty failed");
  if (FChild == 0) command.Exec();
}

TChatTerminal::~TChatTerminal() {
  if (FChild > 0) {
    kill(FChild, SIGKILL);
    waitpid(FChild, nullptr, 0);
  }
  close(FTerminal);
}

void TChatTerminal::Type(const std::string& aText) {
  if (write(FTerminal, aText.data(), aText.size()) != static_cast<ssize_t>(aText.size()))
    throw std::runtime_error("typing at the terminal failed");
}

std::string TChatTerminal::ReadUntil(const std::string& aEnding, std::chrono::seconds aTimeout) {
  const auto deadline = TClock::now() + aTimeout;
  while (!FPending.ends_with(aEnding)) {
    if (TClock::now() > deadline)
      throw std::runtime_error("the terminal did not show \"" + aEnding + "\"; it showed \"" + FPending + "\"");
    pollfd terminal{FTerminal, POLLIN, 0};
    if (poll(&terminal, 1, PollMs(deadline)) <= 0) continue;
    char buffer[4096];
    const ssize_t got = read(FTerminal, buffer, sizeof buffer);
    if (got <= 0) throw std::runtime_error("the terminal closed; it showed \"" + FPending + "\"");
    FPending.append(buffer, static_cast<size_t>(got));
  }
  std::string shown;
  shown.swap(FPending);
  return shown;
}

int TChatTerminal::Wait(std::chrono::seconds aTimeout) {
  const int status = WaitChild(FChild, TClock::now() + aTimeout);
  FChild = -1;
  return status;
}

}  // namespace qtx::test
