#pragma once
// Sets of enumeration members, as option and version sets use them.

#include <bit>
#include <cstdint>
#include <initializer_list>

namespace qtx {

// A set of enumeration members; member n is the bit 1 << n.
template <typename E>
class TIdSet {
public:
  constexpr TIdSet() = default;
  constexpr TIdSet(std::initializer_list<E> aMembers) {
    for (E member : aMembers) Include(member);
  }
  static constexpr TIdSet FromBits(uint32_t aBits) {
    TIdSet set;
    set.FBits = aBits;
    return set;
  }
  constexpr uint32_t Bits() const noexcept { return FBits; }
  constexpr bool Contains(E aMember) const noexcept { return (FBits >> aMember) & 1u; }
  constexpr bool Empty() const noexcept { return FBits == 0; }
  constexpr int Count() const noexcept { return std::popcount(FBits); }
  constexpr void Include(E aMember) noexcept { FBits |= 1u << aMember; }
  constexpr void Exclude(E aMember) noexcept { FBits &= ~(1u << aMember); }
  constexpr bool operator==(const TIdSet&) const = default;

private:
  uint32_t FBits = 0;
};

}  // namespace qtx
