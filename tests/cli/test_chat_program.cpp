// qtx-chat, run as a user runs it, against the fake OpenAI service: what it
// prints on standard output and standard error and how it exits, piped and
// on a terminal.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "qtxTestChatProgram.h"
#include "support/qtxTestOpenAIService.h"
#include "support/qtxTestShell.h"
#include "support/qtxTestSockets.h"

namespace qtx::test {
namespace {

using json = nlohmann::json;
using namespace std::chrono_literals;

const std::string kProgram = QTX_CHAT_PROGRAM;

TEnvironment ChatEnvironment(const TTestOpenAIService& aService, const TTempFolder& aHome) {
  return {{"OPENAI_API_KEY", std::string(kOpenAITestApiKey)},
          {"OPENAI_BASE_URL", aService.Url("")},
          {"HOME", aHome.Path()},
          {"PATH", "/usr/bin:/bin"}};
}

json RequestBody(const TTestHttpRequest& aRequest) { return json::parse(aRequest.Body); }

// The chat requests' messages as "role: content" lines.
std::vector<std::string> Messages(const TTestHttpRequest& aRequest) {
  std::vector<std::string> messages;
  const json body = RequestBody(aRequest);
  for (const json& message : body["messages"])
    messages.push_back(message["role"].get<std::string>() + ": " + message["content"].get<std::string>());
  return messages;
}

class ChatProgram : public testing::Test {
protected:
  TChatRun Run(const std::vector<std::string>& aArguments, const std::string& aInput = "") {
    return RunChatProgram(kProgram, aArguments, FEnvironment, aInput);
  }

  TTestOpenAIService FService;
  TTempFolder FHome;
  TEnvironment FEnvironment = ChatEnvironment(FService, FHome);
};

// -------------------------------------------------------------- answers

struct TAnswerCase {
  const char* Name;
  std::vector<std::string> Arguments;
  std::string Input;
  std::string Out;
  bool Streamed;
};

TEST_F(ChatProgram, PrintsTheAnswerToAMessageFromItsArgumentsOrStandardInput) {
  const TAnswerCase cases[] = {
      {"argument", {"Hello there"}, "", "You said: Hello there\n", true},
      {"words", {"Hello", "there"}, "", "You said: Hello there\n", true},
      {"after --", {"--", "--not-an-option"}, "", "You said: --not-an-option\n", true},
      {"standard input", {}, "Hello from a pipe\n\n", "You said: Hello from a pipe\n", true},
      {"two lines in", {}, "first\nsecond\n", "You said: first\nsecond\n", true},
      {"whole", {"--no-stream", "Hello"}, "", "You said: Hello\n", false},
      {"unicode", {"Grüße, 世界 😀"}, "", "You said: Grüße, 世界 😀\n", true},
  };
  for (const TAnswerCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const size_t before = FService.Requests().size();
    const TChatRun run = Run(c.Arguments, c.Input);
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, c.Out);
    EXPECT_EQ(run.Err, "");
    const auto requests = FService.Requests();
    ASSERT_EQ(requests.size(), before + 1);
    const json body = RequestBody(requests.back());
    EXPECT_EQ(body.value("stream", false), c.Streamed);
    EXPECT_EQ(body["model"], "gpt-3.5-turbo");
  }
}

TEST_F(ChatProgram, SendsTheModelAndTheSystemMessageItIsGiven) {
  const TChatRun run = Run({"--model=gpt-4o", "--system", "Answer briefly.", "Hi"});
  EXPECT_EQ(run.Status, 0);
  const auto requests = FService.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(RequestBody(requests[0])["model"], "gpt-4o");
  EXPECT_EQ(Messages(requests[0]), (std::vector<std::string>{"system: Answer briefly.", "user: Hi"}));
}

TEST_F(ChatProgram, PrintsTheServicesResponseObjectWithJson) {
  for (const char* stream : {"", "--no-stream"}) {
    SCOPED_TRACE(stream);
    std::vector<std::string> arguments{"--json", "Hi"};
    if (*stream) arguments.insert(arguments.begin(), stream);
    const TChatRun run = Run(arguments);
    EXPECT_EQ(run.Status, 0);
    ASSERT_TRUE(run.Out.ends_with("}\n")) << run.Out;
    const json answer = json::parse(run.Out);
    EXPECT_EQ(answer["object"], "chat.completion");
    EXPECT_EQ(answer["choices"][0]["message"]["content"], "You said: Hi");
  }
}

TEST_F(ChatProgram, TakesTheKeyFromTheWindowsSettingsFileWithoutTheVariable) {
  // A copy of the program beside a settings file of the window's.
  TTempFolder folder;
  const std::string program = folder.File("qtx-chat");
  std::filesystem::copy_file(kProgram, program);
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  std::ofstream(folder.File("qtx_chat.ini")) << "[OPENAI]\nAPI_KEY=" << kOpenAITestApiKey << "\n";
  FEnvironment.erase("OPENAI_API_KEY");

  const TChatRun run = RunChatProgram(program, {"Hi"}, FEnvironment);
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, "You said: Hi\n");
  EXPECT_EQ(run.Err, "");
}

// -------------------------------------------------------------- failures

struct TFailureCase {
  const char* Name;
  std::vector<std::string> Arguments;
  std::string Input;
  int Status;
  std::string Err;  // the whole of standard error, or its start when it ends in "..."
};

void ExpectFailure(const TChatRun& aRun, const TFailureCase& aCase) {
  EXPECT_EQ(aRun.Status, aCase.Status);
  EXPECT_EQ(aRun.Out, "");
  if (aCase.Err.ends_with("...")) {
    const std::string start = aCase.Err.substr(0, aCase.Err.size() - 3);
    EXPECT_TRUE(aRun.Err.starts_with(start)) << aRun.Err;
    EXPECT_TRUE(aRun.Err.ends_with("\n")) << aRun.Err;
    EXPECT_EQ(aRun.Err.find('\n'), aRun.Err.size() - 1) << "one line: " << aRun.Err;
  } else {
    EXPECT_EQ(aRun.Err, aCase.Err);
  }
}

TEST_F(ChatProgram, RefusesAWrongCommandLineWithTheUsageStatus) {
  const TFailureCase cases[] = {
      {"unknown option", {"--colour", "Hi"}, "", 2, "qtx-chat: unknown option \"--colour\" (see --help)\n"},
      {"missing value", {"Hi", "--model"}, "", 2, "qtx-chat: --model needs a value\n"},
      {"value to a flag", {"--json=yes", "Hi"}, "", 2, "qtx-chat: --json takes no value\n"},
      {"time-out", {"--timeout", "soon", "Hi"}, "", 2,
       "qtx-chat: --timeout wants a number of seconds greater than 0, not \"soon\"\n"},
      {"zero time-out", {"--timeout=0", "Hi"}, "", 2, "qtx-chat: --timeout wants a number..."},
      {"no message", {}, "\n", 2, "qtx-chat: no message: give one as arguments or on standard input (see --help)\n"},
      {"not UTF-8", {}, "caf\xE9\n", 2, "qtx-chat: the message is not valid UTF-8\n"},
      {"CA file", {"--cacert", "/nonexistent/ca.pem", "Hi"}, "", 2,
       "qtx-chat: --cacert: cannot read \"/nonexistent/ca.pem\"\n"},
      {"proxy", {"--proxy", "ftp://127.0.0.1:21", "Hi"}, "", 2,
       "qtx-chat: --proxy \"ftp://127.0.0.1:21\" cannot be used: the scheme..."},
  };
  for (const TFailureCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ExpectFailure(Run(c.Arguments, c.Input), c);
  }
  EXPECT_TRUE(FService.Requests().empty());
}

TEST_F(ChatProgram, ReportsEachFailureOnOneLineWithItsOwnStatus) {
  const TRefusingPort refusing;
  const std::string refusingURL = "http://127.0.0.1:" + std::to_string(refusing.Port());

  TEnvironment noKey = FEnvironment;
  noKey.erase("OPENAI_API_KEY");
  {
    SCOPED_TRACE("no key");
    ExpectFailure(RunChatProgram(kProgram, {"Hi"}, noKey),
                  {"", {}, "", 3, "qtx-chat: no API key: set OPENAI_API_KEY or type one into the chat window..."});
  }
  {
    SCOPED_TRACE("wrong key");
    noKey["OPENAI_API_KEY"] = "sk-wrong";
    ExpectFailure(RunChatProgram(kProgram, {"Hi"}, noKey),
                  {"", {}, "", 1, "qtx-chat: the service answered 401: Incorrect API key provided: sk-wrong..."});
  }
  {
    SCOPED_TRACE("refused connection");
    ExpectFailure(Run({"--base-url", refusingURL, "Hi"}),
                  {"", {}, "", 1, "qtx-chat: cannot reach the service: Socket Error # 10061..."});
  }
  {
    SCOPED_TRACE("the proxy is taken whatever no_proxy says");
    FEnvironment["no_proxy"] = "*";
    ExpectFailure(Run({"--proxy", refusingURL, "Hi"}),
                  {"", {}, "", 1, "qtx-chat: cannot reach the service: Socket Error # 10061..."});
  }
  {
    SCOPED_TRACE("time-out");
    // Every attempt finds the service silent.
    for (int attempt = 0; attempt < 3; ++attempt) FService.Program({.DelayMs = 5000});
    ExpectFailure(Run({"--timeout", "0.5", "Hi"}), {"", {}, "", 4, "qtx-chat: the service did not answer in time..."});
  }
}

TEST_F(ChatProgram, KeepsWhatArrivedOfAStreamThatFails) {
  struct TCase {
    TStreamEnd End;
    int Status;
    std::string Err;
  };
  const std::string reply = FService.Reply("one two three four five six seven eight");
  for (const TCase& c : {TCase{TStreamEnd::Dropped, 5, "qtx-chat: the answer broke off: "},
                         TCase{TStreamEnd::CutOff, 5, "qtx-chat: the answer broke off: "},
                         TCase{TStreamEnd::ErrorEvent, 1, "qtx-chat: the service reported an error: "}}) {
    SCOPED_TRACE(c.Status);
    FService.Program({.StreamEnd = c.End});
    const TChatRun run = Run({"one two three four five six seven eight"});
    EXPECT_EQ(run.Status, c.Status);
    ASSERT_GT(run.Out.size(), 1u);
    EXPECT_TRUE(run.Out.ends_with("\n"));
    EXPECT_TRUE(reply.starts_with(run.Out.substr(0, run.Out.size() - 1))) << run.Out;
    EXPECT_LT(run.Out.size(), reply.size());
    EXPECT_TRUE(run.Err.starts_with(c.Err)) << run.Err;
    EXPECT_EQ(run.Err.find('\n'), run.Err.size() - 1) << run.Err;
  }
}

TEST_F(ChatProgram, WarnsThatInsecureTurnsVerificationOff) {
  const TChatRun run = Run({"--insecure", "Hi"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_EQ(run.Out, "You said: Hi\n");
  EXPECT_TRUE(run.Err.starts_with("qtx-chat: warning: --insecure: the server's certificate is not verified"))
      << run.Err;
}

TEST_F(ChatProgram, HelpListsTheExitStatusesAndVersionNamesTheProgram) {
  const TChatRun help = Run({"--help"});
  EXPECT_EQ(help.Status, 0);
  for (const char* line : {"usage: qtx-chat", "--model NAME", "--timeout SECONDS", "  3    no API key",
                           "  4    the service did not answer in time", "  130  interrupted by Ctrl-C"})
    EXPECT_NE(help.Out.find(line), std::string::npos) << line;
  const TChatRun version = Run({"--version"});
  EXPECT_EQ(version.Status, 0);
  EXPECT_TRUE(version.Out.starts_with("qtx-chat ")) << version.Out;
  EXPECT_TRUE(FService.Requests().empty());
}

// -------------------------------------------------------------- Ctrl-C

TEST(ChatProgramInterrupt, StopsASlowStreamAtSigintKeepingWhatArrived) {
  TOpenAIServiceOptions options;
  options.StreamPauseMs = 150;
  TTestOpenAIService service(options);
  TTempFolder home;
  const std::string content = "one two three four five six seven eight nine ten eleven twelve thirteen fourteen";
  service.Program({.Content = content});
  TChatTerminal terminal(kProgram, {"Count"}, ChatEnvironment(service, home));
  const std::string shown = terminal.ReadUntil("three");
  terminal.Type("\x03");  // Ctrl-C: the terminal sends SIGINT
  const std::string rest = terminal.ReadUntil("qtx-chat: interrupted\r\n");
  EXPECT_EQ(terminal.Wait(), 130);
  // The terminal echoes Ctrl-C as "^C" where it was typed.
  std::string printed = (shown + rest).substr(0, (shown + rest).find("\r\nqtx-chat: interrupted"));
  if (const size_t echo = printed.find("^C"); echo != std::string::npos) printed.erase(echo, 2);
  EXPECT_TRUE(content.starts_with(printed)) << printed;
  EXPECT_LT(printed.size(), content.size());
}

// -------------------------------------------------------------- a conversation

TEST_F(ChatProgram, HoldsAConversationOnATerminal) {
  TChatTerminal terminal(kProgram, {"--system", "Be kind."}, FEnvironment);
  EXPECT_EQ(terminal.ReadUntil("> "),
            "qtx-chat: talking to gpt-3.5-turbo. Type a message; /new starts a new conversation, Ctrl-D quits.\r\n> ");
  terminal.Type("Hello\n");
  EXPECT_EQ(terminal.ReadUntil("> "), "Hello\r\nYou said: Hello\r\n> ");
  terminal.Type("And again\n");
  EXPECT_EQ(terminal.ReadUntil("> "), "And again\r\nYou said: And again\r\n> ");

  // A failed turn is reported and taken back; the conversation goes on.
  FService.Program({.Status = 400});
  terminal.Type("Refused\n");
  const std::string refused = terminal.ReadUntil("> ");
  EXPECT_TRUE(refused.starts_with("Refused\r\nqtx-chat: the service answered 400: ")) << refused;
  terminal.Type("\n");  // an empty line sends nothing
  terminal.ReadUntil("> ");
  terminal.Type("Third\n");
  terminal.ReadUntil("You said: Third\r\n> ");

  terminal.Type("/new\n");
  EXPECT_EQ(terminal.ReadUntil("> "), "/new\r\n(a new conversation)\r\n> ");
  terminal.Type("Fresh\n");
  terminal.ReadUntil("You said: Fresh\r\n> ");
  terminal.Type("\x04");  // Ctrl-D: end of input
  EXPECT_EQ(terminal.Wait(), 0);

  const auto requests = FService.Requests();
  ASSERT_EQ(requests.size(), 5u);
  EXPECT_EQ(Messages(requests[1]), (std::vector<std::string>{"system: Be kind.", "user: Hello",
                                                             "assistant: You said: Hello", "user: And again"}));
  EXPECT_EQ(Messages(requests[3]),
            (std::vector<std::string>{"system: Be kind.", "user: Hello", "assistant: You said: Hello",
                                      "user: And again", "assistant: You said: And again", "user: Third"}));
  EXPECT_EQ(Messages(requests[4]), (std::vector<std::string>{"system: Be kind.", "user: Fresh"}));
}

}  // namespace
}  // namespace qtx::test
