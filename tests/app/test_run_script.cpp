// scripts/run, the README's command for the window.

#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <string>

namespace {

struct TRun {
  int ExitCode;
  std::string Output;
};

TRun RunCommand(const std::string& aCommand) {
  FILE* pipe = popen((aCommand + " 2>&1").c_str(), "r");
  if (!pipe) throw std::runtime_error("cannot start " + aCommand);
  std::string output;
  char buffer[256];
  while (const size_t read = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, read);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(RunScript, WithoutADisplaySaysSoInOneLineAndFails) {
  const TRun run = RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " QTX_SOURCE_DIR "/scripts/run");
  EXPECT_NE(run.ExitCode, 0);
  EXPECT_EQ(run.Output, "run: no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)\n");
}

}  // namespace
