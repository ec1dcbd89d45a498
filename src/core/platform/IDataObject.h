#pragma once

#include "core/platform/HResult.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

// The formats a transfer carries, and the object that carries them: what the clipboard holds,
// what a drag hands over, what a folder gives for a set of its items. Each format's bytes keep
// the Windows layout so that one reader serves every host (the file lists in
// core/shell/ClipboardFiles.h, the item lists in core/platform/ShellIdListArray.h); the Linux
// layer maps them to and from the freedesktop MIME types.

namespace kiv::pf {

inline constexpr HResult DV_E_FORMATETC = MakeHResult(0x80040064u);
// A clipboard call from a thread other than the one that owns the clipboard.
inline constexpr HResult RPC_E_WRONG_THREAD = MakeHResult(0x8001010Eu);
inline constexpr HResult CLIPBRD_E_CANT_OPEN = MakeHResult(0x800401D0u);

inline constexpr std::uint32_t DROPEFFECT_NONE = 0;
inline constexpr std::uint32_t DROPEFFECT_COPY = 1;
inline constexpr std::uint32_t DROPEFFECT_MOVE = 2;
inline constexpr std::uint32_t DROPEFFECT_LINK = 4;

enum class ClipFormat
{
    // Dropped files: a 20-byte header and the NUL-separated paths.
    HDrop,
    // Item identifier lists: a count, offsets, the parent list and each item's relative list.
    ShellIdListArray,
    // Virtual files (wide records of 592 bytes).
    FileGroupDescriptorW,
    // Whether the files were cut or copied: a 32-bit little-endian DROPEFFECT value.
    PreferredDropEffect,
    // UTF-16 text without a terminator.
    UnicodeText,
};

class IDataObject
{
public:
    virtual ~IDataObject() = default;
    // S_OK when the format can be read, DV_E_FORMATETC otherwise.
    virtual HResult QueryGetData(ClipFormat pFormat) = 0;
    virtual HResult GetData(ClipFormat pFormat, QByteArray& pData) = 0;
    // Adds or replaces a format.
    virtual HResult SetData(ClipFormat pFormat, const QByteArray& pData) = 0;
    // The formats present, in the order they were first set.
    virtual std::vector<ClipFormat> EnumFormats() = 0;
};

using IDataObjectPtr = std::shared_ptr<IDataObject>;

// The 32-bit value of a PreferredDropEffect format (DROPEFFECT_NONE when malformed).
std::uint32_t DropEffectFromBytes(const QByteArray& pData);
QByteArray DropEffectToBytes(std::uint32_t pEffect);
QByteArray TextToBytes(const QString& pText);
QString TextFromBytes(const QByteArray& pData);

} // namespace kiv::pf
