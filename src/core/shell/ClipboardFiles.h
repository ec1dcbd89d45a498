#pragma once

// Readers and writers of the clipboard and drag formats that carry lists of files, as pure
// functions over bytes: the freedesktop "text/uri-list" and "x-special/gnome-copied-files", and
// the Windows layouts the family exchanges (the dropped-files block and the file group
// descriptors of virtual files). Bytes come from other programs: every reader checks each count
// and offset against the buffer and answers an empty result for anything malformed, so a paste
// never acts on half a list.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace kiv {

// What another program put on the clipboard for a paste: the files and whether they were cut.
struct TCopiedFiles
{
    QStringList Paths;
    bool Cut = false;
};

// The local path that stands for a URI of another scheme ("sftp://host/file" reached through a
// mount), or nullopt to skip the URI.
using TUriToPath = std::function<std::optional<QString>(const QByteArray& pUri)>;

class TClipboardFiles
{
public:
    // The local paths of a "text/uri-list": lines of CR LF (LF accepted), "#" comments skipped,
    // "file:" URIs with an empty or "localhost" host; other schemes go through pOther, or are
    // skipped without it. Percent escapes give the exact bytes of the name (undecodable bytes are
    // carried as escapes, see core/platform/FileNames.h). A malformed escape or a file URI of
    // another host empties the result.
    static QStringList ParseUriList(const QByteArray& pData, const TUriToPath& pOther = {});
    // "file://" URIs for paths, CR LF after each line.
    static QByteArray BuildUriList(const QStringList& pPaths);
    // "x-special/gnome-copied-files": "copy" or "cut", then one URI per line.
    static TCopiedFiles ParseGnomeCopiedFiles(const QByteArray& pData,
                                              const TUriToPath& pOther = {});
    static QByteArray BuildGnomeCopiedFiles(const TCopiedFiles& pFiles);

    // The dropped-files block: a 20-byte header (offset of the list at byte 0, wide flag at byte
    // 16) and NUL-separated names ended by an empty one, UTF-16 when wide, else 8-bit text.
    static QStringList ParseDropFiles(const QByteArray& pData);
    // A wide block at offset 20.
    static QByteArray BuildDropFiles(const QStringList& pPaths);

    // File group descriptors: a 32-bit count, then records of 592 bytes (wide) or 332 bytes
    // (ANSI) whose name field of 260 characters starts at byte 72. A count that does not fit the
    // buffer empties the result.
    static QStringList ParseFileGroupDescriptor(const QByteArray& pData, bool pWide);
};

} // namespace kiv
