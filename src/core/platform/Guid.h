#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace kiv::pf {

// A 128-bit identifier of classes and known folders, kept in its published field layout so that
// the binary form inside item identifiers ("Data1 u32, Data2 u16, Data3 u16, Data4 8 bytes",
// little-endian) and the text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" match other tools.
struct Guid
{
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::array<std::uint8_t, 8> Data4{};

    // Accepts the braced text form, any letter case; nullopt for anything else.
    static std::optional<Guid> FromString(QStringView pText);
    // Reads 16 bytes in the binary layout; the caller guarantees they are there.
    static Guid FromBytes(const std::uint8_t* pBytes);

    // Upper-case braced text form.
    QString ToString() const;
    void ToBytes(std::uint8_t* pOut) const;
    bool IsNull() const { return *this == Guid{}; }

    friend bool operator==(const Guid&, const Guid&) = default;
    friend auto operator<=>(const Guid&, const Guid&) = default;
};

// A compile-time GUID from its fields (the published constants are written this way).
constexpr Guid MakeGuid(std::uint32_t pD1, std::uint16_t pD2, std::uint16_t pD3, std::uint8_t pA,
                        std::uint8_t pB, std::uint8_t pC, std::uint8_t pD, std::uint8_t pE,
                        std::uint8_t pF, std::uint8_t pG, std::uint8_t pH)
{
    return Guid{pD1, pD2, pD3, {pA, pB, pC, pD, pE, pF, pG, pH}};
}

} // namespace kiv::pf
