#pragma once

#include <QString>

#include <string>
#include <string_view>

// File names on POSIX systems are bytes, usually but not always UTF-8. The core works in UTF-16,
// so every byte that is not part of a valid UTF-8 sequence is carried as one lone low surrogate
// U+DC80..U+DCFF ("surrogate escape"). Converting back restores the exact bytes, so a name that
// is browsed, renamed, copied or deleted reaches the system unchanged. Such escapes appear only
// in parsing names; names shown to users have U+FFFD in their place.

namespace kiv::pf {

// Bytes of a name or path → text with escapes for undecodable bytes.
QString DecodeFileName(std::string_view pBytes);
// Text → bytes: escapes become their byte, other lone surrogates become U+FFFD.
std::string EncodeFileName(QStringView pText);
// The text users see: escapes replaced by U+FFFD.
QString FileNameForDisplay(QString pText);
// True when the text holds escaped bytes.
bool HasEscapedBytes(QStringView pText);

} // namespace kiv::pf
