#pragma once

#include "core/platform/HResult.h"
#include "core/platform/IdList.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <variant>

// Per-folder view state: named bags of values (sort order, columns, view mode) that views keep
// for a folder, for all folders of the user, or as the system's defaults.

namespace kiv::pf {

// Which bag OpenBag opens.
namespace viewstate {
inline constexpr std::uint32_t PERUSER = 0x1;
inline constexpr std::uint32_t ALLUSERS = 0x2;
inline constexpr std::uint32_t PERFOLDER = 0x4;
inline constexpr std::uint32_t ALLFOLDERS = 0x8;
// The folder's own bag for this user.
inline constexpr std::uint32_t FOLDER = PERUSER | PERFOLDER;
inline constexpr std::uint32_t USERDEFAULTS = PERUSER | ALLFOLDERS;
inline constexpr std::uint32_t GLOBALDEFAULTS = ALLUSERS | ALLFOLDERS;
} // namespace viewstate

// A value in a bag: a flag, a number, a text, or bytes (what a stream held).
using BagValue = std::variant<std::monostate, bool, std::int32_t, QString, QByteArray>;

class IPropertyBag
{
public:
    virtual ~IPropertyBag() = default;
    // E_INVALIDARG when the bag has no such value.
    virtual HResult Read(const QString& pName, BagValue& pValue) = 0;
    // Writing std::monostate removes the value.
    virtual HResult Write(const QString& pName, const BagValue& pValue) = 0;
};

using IPropertyBagPtr = std::shared_ptr<IPropertyBag>;

class IViewState
{
public:
    virtual ~IViewState() = default;
    // The bag pName of the folder (an absolute list; required with viewstate::PERFOLDER), of
    // the user's defaults (PERUSER | ALLFOLDERS) or of the system's (ALLUSERS | ALLFOLDERS).
    // E_INVALIDARG for other flags or a per-folder bag without a folder.
    virtual HResult OpenBag(const IdSpan* pFolder, const QString& pName, std::uint32_t pFlags,
                            IPropertyBagPtr& pBag) = 0;
};

} // namespace kiv::pf
