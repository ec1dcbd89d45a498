#pragma once

// TKivPathList: a list of file-system paths, each held once, with a normalising hook that
// subclasses override (the change notifier's list keeps folders its own way) and events for
// what is added and removed. Also the path questions the selection list and the notifier share
// (sub-path, same volume, UNC and device forms).
//
// Path identity follows the host: on this host names are case-sensitive, so "/x/A" and "/x/a"
// are two paths. A plain value owned by its user; not shared between threads.

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

namespace kiv {

class TKivPathList;

using TKivPathListOperation = std::function<void(TKivPathList& pSender, const QString& pPath)>;

class TKivPathList
{
public:
    TKivPathListOperation OnAdd;
    TKivPathListOperation OnRemove;

    explicit TKivPathList(bool pCheckIfExists = false);
    virtual ~TKivPathList() = default;
    TKivPathList(const TKivPathList&) = default;
    TKivPathList& operator=(const TKivPathList&) = default;

    // Adds pPath in its normal form; the index it has, or -1 when the hook refused it. A path
    // held already is not added again (its index is answered, OnAdd does not fire).
    qsizetype AddObject(const QString& pPath);
    void AddRange(const QStringList& pPaths);
    // Removes pPath (normalised first); false when it was not held.
    bool Remove(const QString& pPath);
    void Remove(qsizetype pIndex);
    void Delete(qsizetype pIndex) { Remove(pIndex); }
    void Clear();

    qsizetype IndexOfPath(const QString& pPath) const;
    bool ContainsPath(const QString& pPath) const;
    // Whether every path lies below pSuperior (an empty list: true).
    bool AllItemsSubpathOf(const QString& pSuperior) const;

    qsizetype Count() const { return fPaths.size(); }
    bool IsEmpty() const { return fPaths.isEmpty(); }
    const QString& operator[](qsizetype pIndex) const { return fPaths.at(pIndex); }
    const QStringList& Paths() const { return fPaths; }

    bool CheckIfExists() const { return fCheckIfExists; }
    void SetCheckIfExists(bool pValue) { fCheckIfExists = pValue; }
    // Set once a path on a network file system was added.
    bool ContainsNetworkPath() const { return fContainsNetworkPath; }
    // While skipped (nesting), OnAdd and OnRemove do not fire.
    void BeginSkipEvents() { ++fSkipEvents; }
    void EndSkipEvents() { --fSkipEvents; }

    // pPossibleSub lies below pSuperior: it starts with pSuperior and a delimiter and is not
    // pSuperior itself.
    static bool IsSubPathOf(const QString& pSuperior, const QString& pPossibleSub);
    // All paths lie on the same volume (fewer than two: true). Answered from the mount table.
    static bool ShareSameRoot(const QStringList& pPaths);
    // The names of a path, root first ("/a/b" gives "/", "a", "b").
    static QStringList SplitPath(const QString& pPath);
    static QStringList SplitPathByDelimiter(const QString& pPath, QChar pDelimiter);
    // The target of a shortcut (a symbolic link or a link desktop file); pPath itself when it
    // is none.
    static QString GetShortcutTarget(const QString& pPath);
    // Where 32-bit programs see another program folder than 64-bit ones; this host has no such
    // folders, so the path comes back as it is.
    static QString AdaptPathOnWow64Systems(const QString& pPath) { return pPath; }
    // "\\server\share..." or "//server/share..." (not "///").
    static bool IsUNCPath(const QString& pPath);
    // A UNC path naming only its server.
    static bool IsUncServer(const QString& pPath);
    static bool StartsWithDriveLetter(const QString& pPath);
    static bool IsFolderClassId(const QString& pPath) { return pPath.startsWith(u"::{"); }
    static bool IsUSBDevicePath(const QString& pPath);
    // On a network file system (by the mount table) or in UNC form.
    static bool IsNetworkPath(const QString& pPath);

    // The identity of a path for lookups: the path itself where names are case-sensitive.
    static QString PathKey(const QString& pPath);

protected:
    // Brings pPath to the form the list holds; false refuses it. The default drops a trailing
    // delimiter, refuses an empty path and, with CheckIfExists, one that does not exist.
    virtual bool NormalizePath(QString& pPath) const;

private:
    void Reindex();

    QStringList fPaths;
    QHash<QString, qsizetype> fIndex; // key → index in fPaths
    bool fCheckIfExists = false;
    bool fContainsNetworkPath = false;
    int fSkipEvents = 0;
};

} // namespace kiv
