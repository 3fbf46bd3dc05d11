#pragma once
// The base of the library's components.

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

}  // namespace qtx
