#pragma once

#include "core/platform/IPreviewHandler.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// What the built-in preview handlers share: reading the content they are given, and the checks
// that their window calls come on the user-interface thread.

namespace kiv::ui {

// The answer to a window call made on the wrong thread.
inline constexpr pf::HResult RPC_E_WRONG_THREAD = pf::MakeHResult(0x8001010Eu);

// Reads at most pLimit bytes from the start of the stream into pBytes; pTruncated tells whether
// there was more. Fails with the stream's failure.
pf::HResult ReadStreamHead(pf::IStream& pStream, std::uint64_t pLimit, QByteArray& pBytes,
                           bool& pTruncated);
// The same for a file (read with Qt's file classes).
pf::HResult ReadFileHead(const QString& pPath, std::uint64_t pLimit, QByteArray& pBytes,
                         bool& pTruncated);

// Whether the caller runs on the application's (user-interface) thread.
bool OnUiThread();

} // namespace kiv::ui
