#include <gtest/gtest.h>

#include <thread>

#include "support/qtxScriptedIOHandler.h"
#include "support/qtxTestHelpers.h"
#include "transport/qtxIdAntiFreezeBase.h"
#include "transport/qtxIdIOHandlerRegistry.h"

namespace qtx {
namespace {

using test::Raised;
using test::TScriptedIOHandler;

class TCountingAntiFreeze : public TIdAntiFreezeBase {
public:
  void Process() override { ++Calls; }
  int Calls = 0;
};

TEST(TIdAntiFreezeBase, OnlyOneMayExist) {
  TCountingAntiFreeze first;
  const auto e = Raised<EIdException>([&] { TCountingAntiFreeze second; });
  EXPECT_EQ(e.Message(), "Only one TIdAntiFreeze can exist per application.");
  EXPECT_EQ(TIdAntiFreezeBase::Instance(), &first);
}

TEST(TIdAntiFreezeBase, AnotherMayExistOnceTheFirstIsGone) {
  { TCountingAntiFreeze first; }
  EXPECT_EQ(TIdAntiFreezeBase::Instance(), nullptr);
  EXPECT_NO_THROW(TCountingAntiFreeze second);
}

TEST(TIdAntiFreezeBase, ProcessesWhenIdleOrForcedOnTheMainThread) {
  TIdAntiFreezeBase::DoProcess();  // nothing installed: nothing happens
  TCountingAntiFreeze hook;
  TIdAntiFreezeBase::DoProcess(false);  // busy, and only idle time counts
  EXPECT_EQ(hook.Calls, 0);
  TIdAntiFreezeBase::DoProcess(true);
  TIdAntiFreezeBase::DoProcess(false, true);
  EXPECT_EQ(hook.Calls, 2);
  hook.SetOnlyWhenIdle(false);
  TIdAntiFreezeBase::DoProcess(false);
  EXPECT_EQ(hook.Calls, 3);
  hook.SetActive(false);
  TIdAntiFreezeBase::DoProcess(true, true);
  EXPECT_EQ(hook.Calls, 3);
}

TEST(TIdAntiFreezeBase, IsNotUsedFromOtherThreads) {
  TCountingAntiFreeze hook;
  std::thread([] { TIdAntiFreezeBase::DoProcess(true, true); }).join();
  EXPECT_EQ(hook.Calls, 0);
}

TEST(TIdAntiFreezeBase, RunsBetweenStreamReadPasses) {
  TCountingAntiFreeze hook;
  TScriptedIOHandler io;
  io.Open();
  io.AddInput("ab");
  io.AddInput("cd");
  TMemoryStream stream;
  io.ReadStream(&stream, 4);
  EXPECT_EQ(hook.Calls, 2);
}

// ---- the class registry ----------------------------------------------------------

// Each test builds its own small hierarchy: the registry is process-wide.
std::unique_ptr<TIdIOHandler> MakeScripted(TComponent* aOwner) { return std::make_unique<TScriptedIOHandler>(aOwner); }

TEST(IOHandlerRegistry, MakesTheLatestRegisteredClassOfTheBaseType) {
  static const TIdIOHandlerClass base("TBaseA", &IdIOHandlerClass());
  static const TIdIOHandlerClass older("TOlderA", &base, MakeScripted);
  static const TIdIOHandlerClass newer("TNewerA", &base, [](TComponent* aOwner) {
    auto handler = MakeScripted(aOwner);
    handler->SetPort(2);
    return handler;
  });
  RegisterIOHandler(older);
  RegisterIOHandler(newer);
  RegisterIOHandler(older);  // once only: the order stays
  const auto handler = MakeIOHandler(base);
  ASSERT_NE(handler, nullptr);
  EXPECT_EQ(handler->Port(), 2);
  EXPECT_TRUE(newer.InheritsFrom(IdIOHandlerClass()));
  EXPECT_FALSE(base.InheritsFrom(newer));
}

TEST(IOHandlerRegistry, NamesTheMissingType) {
  static const TIdIOHandlerClass unknown("TNobodyImplementsThis", &IdIOHandlerClass());
  EXPECT_EQ(TryMakeIOHandler(unknown), nullptr);
  const auto e = Raised<EIdException>([&] { MakeIOHandler(unknown); });
  EXPECT_EQ(e.Message(), "No IOHandler of type TNobodyImplementsThis is installed.");
}

TEST(IOHandlerRegistry, TheDefaultClassIsMadeAndRegistered) {
  static const TIdIOHandlerClass defaultClass("TDefaultB", &IdIOHandlerClass(), MakeScripted);
  const TIdIOHandlerClass* previous = DefaultIOHandlerClass();
  SetDefaultClass(defaultClass);
  TComponent owner;
  const auto handler = MakeDefaultIOHandler(&owner);
  EXPECT_EQ(DefaultIOHandlerClass(), &defaultClass);
  EXPECT_NE(dynamic_cast<TScriptedIOHandler*>(handler.get()), nullptr);
  EXPECT_EQ(handler->Owner(), &owner);
  EXPECT_NE(TryMakeIOHandler(defaultClass), nullptr);
  if (previous != nullptr) SetDefaultClass(*previous);  // the process-wide default stays as it was
}

}  // namespace
}  // namespace qtx
