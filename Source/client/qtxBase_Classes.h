#pragma once
// The base of the library's components.

#include <memory>
#include <string>
#include <string_view>

#include "platform/qtxComponent.h"

namespace qtx {

// The version text that the library's components report.
inline constexpr std::string_view qtxLibraryVersion = "2023.3.0";

class TqtxComponent_Base : public TComponent {
public:
  explicit TqtxComponent_Base(TComponent* aOwner = nullptr) : TComponent(aOwner) {}

  // State queries over the component state kept by the platform. Not
  // virtual: they are asked while components are being torn down, when a
  // virtual call would no longer reach the descendant.
  bool IsDesigning() const noexcept { return HasState(csDesigning); }
  bool IsDestroying() const noexcept { return HasState(csDestroying); }
  bool IsLoading() const noexcept { return HasState(csLoading); }

  std::string GetVersion() const { return std::string(qtxLibraryVersion); }
};

// A reference to a component that the holder does not own, which clears
// itself when the component is freed. A copy refers to the same component.
template <typename T>
class TqtxComponentReference {
public:
  TqtxComponentReference() = default;
  TqtxComponentReference(const TqtxComponentReference& aOther) { Set(aOther.Get()); }
  TqtxComponentReference& operator=(const TqtxComponentReference& aOther) {
    if (this != &aOther) Set(aOther.Get());
    return *this;
  }

  T* Get() const noexcept { return FWatcher ? static_cast<T*>(FWatcher->Target) : nullptr; }
  void Set(T* aComponent) {
    if (!FWatcher) FWatcher = std::make_unique<TWatcher>();
    FWatcher->Watch(aComponent);
  }

private:
  // Receives the free notification of the referenced component.
  struct TWatcher : TComponent {
    TComponent* Target = nullptr;
    void Watch(TComponent* aComponent) {
      if (Target) RemoveFreeNotification(Target);
      Target = aComponent;
      if (Target) FreeNotification(Target);
    }
    void Notification(TComponent* aComponent, TOperation aOperation) override {
      if (aOperation == TOperation::opRemove && aComponent == Target) Target = nullptr;
    }
  };
  std::unique_ptr<TWatcher> FWatcher;
};

}  // namespace qtx
