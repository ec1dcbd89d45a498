#pragma once

// A set of the members of a small enumeration, one bit per member: the value type behind every
// "TXxxOptions" of the family (a TSet<TOperationOption> is TOperationOptions). Plain value, no
// shared state: any thread may use its own copy.
//
// The members of E must run from 0 upwards without gaps and stay below 64, which every
// enumeration used with it does; a member outside that range is a programming error that
// Contains() answers with false and Include() ignores rather than shifting out of range.

#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace kiv {

template <typename E> class TSet
{
    static_assert(std::is_enum_v<E>, "TSet holds the members of an enumeration");

public:
    using TBits = std::uint64_t;
    static constexpr int kCapacity = 64;

    constexpr TSet() noexcept = default;
    constexpr TSet(std::initializer_list<E> pMembers) noexcept
    {
        for (E member : pMembers)
            Include(member);
    }

    static constexpr TSet FromBits(TBits pBits) noexcept
    {
        TSet result;
        result.fBits = pBits;
        return result;
    }

    constexpr TBits Bits() const noexcept { return fBits; }
    constexpr bool IsEmpty() const noexcept { return fBits == 0; }
    constexpr int Count() const noexcept
    {
        int count = 0;
        for (TBits bits = fBits; bits != 0; bits &= bits - 1)
            ++count;
        return count;
    }

    constexpr bool Contains(E pMember) const noexcept { return (fBits & Bit(pMember)) != 0; }
    // True when every member of pOther is in this set.
    constexpr bool ContainsAll(TSet pOther) const noexcept
    {
        return (fBits & pOther.fBits) == pOther.fBits;
    }
    constexpr bool ContainsAny(TSet pOther) const noexcept { return (fBits & pOther.fBits) != 0; }

    constexpr TSet& Include(E pMember) noexcept
    {
        fBits |= Bit(pMember);
        return *this;
    }
    constexpr TSet& Exclude(E pMember) noexcept
    {
        fBits &= ~Bit(pMember);
        return *this;
    }

    // Union, intersection, difference and symmetric difference, as the Delphi set operators.
    friend constexpr TSet operator|(TSet pLeft, TSet pRight) noexcept
    {
        return FromBits(pLeft.fBits | pRight.fBits);
    }
    friend constexpr TSet operator&(TSet pLeft, TSet pRight) noexcept
    {
        return FromBits(pLeft.fBits & pRight.fBits);
    }
    friend constexpr TSet operator-(TSet pLeft, TSet pRight) noexcept
    {
        return FromBits(pLeft.fBits & ~pRight.fBits);
    }
    friend constexpr TSet operator^(TSet pLeft, TSet pRight) noexcept
    {
        return FromBits(pLeft.fBits ^ pRight.fBits);
    }
    friend constexpr TSet operator|(TSet pLeft, E pMember) noexcept
    {
        return pLeft.Include(pMember);
    }
    friend constexpr TSet operator-(TSet pLeft, E pMember) noexcept
    {
        return pLeft.Exclude(pMember);
    }
    constexpr TSet& operator|=(TSet pOther) noexcept { return *this = *this | pOther; }
    constexpr TSet& operator&=(TSet pOther) noexcept { return *this = *this & pOther; }
    constexpr TSet& operator-=(TSet pOther) noexcept { return *this = *this - pOther; }
    constexpr TSet& operator^=(TSet pOther) noexcept { return *this = *this ^ pOther; }
    constexpr TSet& operator|=(E pMember) noexcept { return Include(pMember); }
    constexpr TSet& operator-=(E pMember) noexcept { return Exclude(pMember); }

    friend constexpr bool operator==(TSet pLeft, TSet pRight) noexcept = default;

private:
    static constexpr TBits Bit(E pMember) noexcept
    {
        const auto index = static_cast<long long>(pMember);
        if (index < 0 || index >= kCapacity)
            return 0;
        return TBits{1} << index;
    }

    TBits fBits = 0;
};

} // namespace kiv
