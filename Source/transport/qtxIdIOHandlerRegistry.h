#pragma once
// The registry of IO handler classes. A class is described by a
// TIdIOHandlerClass entry: its name, its parent class and how to create an
// instance. Every handler class has one such entry, kept for the life of the
// process (a function-local static); the root is IdIOHandlerClass().

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "transport/qtxIdIOHandler.h"

namespace qtx {

class TIdIOHandlerClass {
public:
  using TFactory = std::function<std::unique_ptr<TIdIOHandler>(TComponent* aOwner)>;

  // An abstract class has no factory.
  TIdIOHandlerClass(std::string aClassName, const TIdIOHandlerClass* aParent, TFactory aFactory = {});
  TIdIOHandlerClass(const TIdIOHandlerClass&) = delete;
  TIdIOHandlerClass& operator=(const TIdIOHandlerClass&) = delete;

  const std::string& ClassName() const noexcept { return FClassName; }
  const TIdIOHandlerClass* ClassParent() const noexcept { return FParent; }
  // This class or one of its ancestors is aClass.
  bool InheritsFrom(const TIdIOHandlerClass& aClass) const noexcept;
  bool IsAbstract() const noexcept { return !FFactory; }
  // A new instance; EIdException for an abstract class.
  std::unique_ptr<TIdIOHandler> Create(TComponent* aOwner = nullptr) const;

private:
  std::string FClassName;
  const TIdIOHandlerClass* FParent;
  TFactory FFactory;
};

// The class entry of TIdIOHandler, the root of every handler class.
const TIdIOHandlerClass& IdIOHandlerClass();

// Adds a class to the registry once.
void RegisterIOHandler(const TIdIOHandlerClass& aClass);
// Sets the class that MakeDefaultIOHandler creates, and registers it.
void SetDefaultClass(const TIdIOHandlerClass& aClass);
// The default class, or null when none is set.
const TIdIOHandlerClass* DefaultIOHandlerClass();
// A new instance of the default class, or null when none is set.
std::unique_ptr<TIdIOHandler> MakeDefaultIOHandler(TComponent* aOwner = nullptr);
// A new instance of the most recently registered class that inherits from
// aBaseType, or null when none does.
std::unique_ptr<TIdIOHandler> TryMakeIOHandler(const TIdIOHandlerClass& aBaseType, TComponent* aOwner = nullptr);
// As TryMakeIOHandler; raises EIdException "No IOHandler of type %s is
// installed." when no class matches.
std::unique_ptr<TIdIOHandler> MakeIOHandler(const TIdIOHandlerClass& aBaseType, TComponent* aOwner = nullptr);

}  // namespace qtx
