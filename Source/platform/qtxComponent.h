#pragma once
// The owned-component base: an owner back-pointer, the component state bits,
// and free notification so that objects holding a non-owning reference to a
// component are told before it goes away.

#include <cstdint>
#include <set>
#include <string>

namespace qtx {

enum class TOperation { opInsert, opRemove };

// State bits, at the positions the library's state queries test.
enum TComponentStateBit : uint32_t {
  csLoading = 0,
  csReading = 1,
  csWriting = 2,
  csDestroying = 3,
  csDesigning = 4,
};

class TComponent {
public:
  explicit TComponent(TComponent* aOwner = nullptr);
  virtual ~TComponent();

  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const noexcept { return FOwner; }
  const std::string& Name() const noexcept { return FName; }
  void SetName(std::string aName) { FName = std::move(aName); }

  bool HasState(TComponentStateBit aBit) const noexcept { return (FComponentState >> aBit) & 1u; }
  void IncludeState(TComponentStateBit aBit) noexcept { FComponentState |= 1u << aBit; }
  void ExcludeState(TComponentStateBit aBit) noexcept { FComponentState &= ~(1u << aBit); }

  // Marks the component as being destroyed. Destructors of descendants that
  // must behave differently while going away call it first; the base
  // destructor calls it in any case.
  void Destroying() noexcept { IncludeState(csDestroying); }

  // aComponent will call Notification(this, opRemove) on us before it is freed.
  void FreeNotification(TComponent* aComponent);
  void RemoveFreeNotification(TComponent* aComponent);

protected:
  // Told when a component we asked to watch is being freed (opRemove).
  virtual void Notification(TComponent* aComponent, TOperation aOperation);

private:
  TComponent* FOwner;
  std::string FName;
  uint32_t FComponentState = 0;
  std::set<TComponent*> FFreeNotifies;
};

}  // namespace qtx
