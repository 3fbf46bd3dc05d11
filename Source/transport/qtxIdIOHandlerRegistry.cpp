#include "transport/qtxIdIOHandlerRegistry.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/qtxSysUtils.h"

namespace qtx {

namespace {
constexpr std::string_view RSIOHandlerTypeNotInstalled = "No IOHandler of type %s is installed.";
constexpr std::string_view RSAbstractIOHandlerClass = "Cannot create an instance of the abstract class %s.";

struct TRegistry {
  std::mutex Lock;
  std::vector<const TIdIOHandlerClass*> Classes;
  const TIdIOHandlerClass* DefaultClass = nullptr;
};

TRegistry& Registry() {
  static TRegistry registry;
  return registry;
}

void AddOnce(TRegistry& aRegistry, const TIdIOHandlerClass& aClass) {
  if (std::find(aRegistry.Classes.begin(), aRegistry.Classes.end(), &aClass) == aRegistry.Classes.end()) {
    aRegistry.Classes.push_back(&aClass);
  }
}
}  // namespace

TIdIOHandlerClass::TIdIOHandlerClass(std::string aClassName, const TIdIOHandlerClass* aParent, TFactory aFactory)
    : FClassName(std::move(aClassName)), FParent(aParent), FFactory(std::move(aFactory)) {}

bool TIdIOHandlerClass::InheritsFrom(const TIdIOHandlerClass& aClass) const noexcept {
  for (const TIdIOHandlerClass* c = this; c != nullptr; c = c->FParent) {
    if (c == &aClass) return true;
  }
  return false;
}

std::unique_ptr<TIdIOHandler> TIdIOHandlerClass::Create(TComponent* aOwner) const {
  if (!FFactory) throw EIdException(Format(RSAbstractIOHandlerClass, {FClassName}));
  return FFactory(aOwner);
}

const TIdIOHandlerClass& IdIOHandlerClass() {
  static const TIdIOHandlerClass root("TIdIOHandler", nullptr);
  return root;
}

void RegisterIOHandler(const TIdIOHandlerClass& aClass) {
  TRegistry& registry = Registry();
  std::lock_guard guard(registry.Lock);
  AddOnce(registry, aClass);
}

void SetDefaultClass(const TIdIOHandlerClass& aClass) {
  TRegistry& registry = Registry();
  std::lock_guard guard(registry.Lock);
  registry.DefaultClass = &aClass;
  AddOnce(registry, aClass);
}

const TIdIOHandlerClass* DefaultIOHandlerClass() {
  TRegistry& registry = Registry();
  std::lock_guard guard(registry.Lock);
  return registry.DefaultClass;
}

std::unique_ptr<TIdIOHandler> MakeDefaultIOHandler(TComponent* aOwner) {
  const TIdIOHandlerClass* defaultClass = DefaultIOHandlerClass();
  return defaultClass == nullptr ? nullptr : defaultClass->Create(aOwner);
}

std::unique_ptr<TIdIOHandler> TryMakeIOHandler(const TIdIOHandlerClass& aBaseType, TComponent* aOwner) {
  const TIdIOHandlerClass* match = nullptr;
  {
    TRegistry& registry = Registry();
    std::lock_guard guard(registry.Lock);
    const auto found = std::find_if(registry.Classes.rbegin(), registry.Classes.rend(),
                                    [&](const TIdIOHandlerClass* c) { return !c->IsAbstract() && c->InheritsFrom(aBaseType); });
    if (found != registry.Classes.rend()) match = *found;
  }
  return match == nullptr ? nullptr : match->Create(aOwner);
}

std::unique_ptr<TIdIOHandler> MakeIOHandler(const TIdIOHandlerClass& aBaseType, TComponent* aOwner) {
  std::unique_ptr<TIdIOHandler> handler = TryMakeIOHandler(aBaseType, aOwner);
  if (handler == nullptr) throw EIdException(Format(RSIOHandlerTypeNotInstalled, {aBaseType.ClassName()}));
  return handler;
}

}  // namespace qtx
