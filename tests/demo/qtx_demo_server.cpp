// qtx_demo_server [--port N]
//
// An OpenAI-compatible server on a loopback port for trying the chat
// programs without an API key or a network: it prints its base URL (for
// OPENAI_BASE_URL) on one line, accepts any key, answers chat completions,
// streamed or not, with a short friendly echo of the user's message, and
// serves until it is stopped (SIGINT or SIGTERM). It is the tests' fake
// service with settings for people.

#include <signal.h>

#include <charconv>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include "support/qtxTestOpenAIService.h"

namespace {

std::string FriendlyReply(std::string_view aUserText) {
  return "Hello from the qtx demo server! No model runs here, so I can only echo what you wrote: \"" +
         std::string(aUserText) + "\". Set OPENAI_API_KEY to talk to the real service.";
}

int Usage() {
  std::cerr << "usage: qtx_demo_server [--port N]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  qtx::test::TOpenAIServiceOptions options;
  options.ApiKey.clear();
  options.Reply = FriendlyReply;
  options.StreamPauseMs = 15;  // a stream a person can watch arrive
  options.Record = false;
  for (int index = 1; index < argc; ++index) {
    const std::string_view arg = argv[index];
    if (arg == "--port" && index + 1 < argc) {
      const std::string_view value = argv[++index];
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), options.Port);
      if (error != std::errc() || end != value.data() + value.size()) return Usage();
    } else {
      return Usage();
    }
  }

  // The signals are taken by sigwait below, on this thread only.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  try {
    qtx::test::TTestOpenAIService service(std::move(options));
    std::cout << service.Url("/v1") << std::endl;
    int signal = 0;
    sigwait(&stop, &signal);
  } catch (const std::exception& e) {
    std::cerr << "qtx_demo_server: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
