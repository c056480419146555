// A set of enumeration members kept as bits of a fixed-width integer: bit n stands for the
// member with ordinal n. The width is part of a set type's contract (a trace category set is
// two bytes, a statistics option set one), so each set names its own Storage.
#pragma once

#include <initializer_list>
#include <type_traits>

template <class Member, class Storage>
class FlagSet {
  static_assert(std::is_enum_v<Member> && std::is_unsigned_v<Storage>);

 public:
  constexpr FlagSet() = default;
  constexpr FlagSet(std::initializer_list<Member> members) {
    for (Member member : members) Include(member);
  }

  constexpr bool Contains(Member member) const { return (bits_ & Bit(member)) != 0; }
  constexpr void Include(Member member) { bits_ = Storage(bits_ | Bit(member)); }
  constexpr void Exclude(Member member) { bits_ = Storage(bits_ & ~Bit(member)); }
  constexpr Storage Bits() const { return bits_; }
  constexpr bool operator==(const FlagSet&) const = default;

 private:
  static constexpr Storage Bit(Member member) {
    return Storage(1u << static_cast<unsigned>(member));
  }

  Storage bits_ = 0;
};
