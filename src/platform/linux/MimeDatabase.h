#pragma once

#include <QString>

#include <mutex>

namespace kiv::pf::lnx {

// QMimeDatabase is documented thread-safe, but its lazy loading of comments and parents is not
// something to lean on from many workers at once: every user in this layer takes this one lock.
std::mutex& MimeDatabaseLock();

// The MIME type an extension (without the dot) names, from its glob; empty when no glob matches.
QString MimeTypeOfExtension(const QString& pExtension);
// What kind of content the type holds, as the shell calls it: "text", "image", "audio", "video",
// or empty. XML, JSON, scripts and other types that derive from plain text count as text.
QString PerceivedTypeOf(const QString& pMimeType);

} // namespace kiv::pf::lnx
