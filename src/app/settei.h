#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

// The application's own settings: the window placement in "data.ini" and the tab set in
// "memo.ini". Both files live in the settings folder (see TSettingsFolder). Reading never fails:
// missing, unreadable or garbled files give the defaults. These run on the user-interface thread
// at start-up and close; the files are a few bytes on the local disk beside the program.

namespace settei {

inline constexpr auto kDataIni = "data.ini";
inline constexpr auto kMemoIni = "memo.ini";
inline constexpr auto kMainFormSection = u"mainform";

// Where the two files are read and written. Beside the executable, as the program has always
// kept them, when that folder is writable; otherwise (an installed program) in
// "$XDG_CONFIG_HOME/tovaline" ("~/.config/tovaline" when unset), so that closing the window
// does not silently lose the placement. An installed copy's files beside the executable are
// still read until the user's own exist.
class TSettingsFolder
{
public:
    TSettingsFolder(QString pExecutableFolder, QString pConfigFolder);
    TSettingsFolder(QString pExecutableFolder, QString pConfigFolder,
                    bool pExecutableFolderWritable);
    // From the running program and the environment.
    static TSettingsFolder ForThisProgram();

    QString ReadPath(const QString& pFileName) const;
    QString WritePath(const QString& pFileName) const;
    bool UsesConfigFolder() const { return fUseConfig; }

private:
    QString fExecutableFolder;
    QString fConfigFolder;
    bool fUseConfig;
};

struct TWindowPlacement
{
    int Top = 50;
    int Left = 50;
    int Width = 900;
    int Height = 600;
    bool operator==(const TWindowPlacement&) const = default;
};

TWindowPlacement ReadPlacement(const QString& pIniPath);
// Updates section "mainform" of the file and keeps the rest of it; false when it cannot be
// written (callers do not report it).
bool WritePlacement(const QString& pIniPath, const TWindowPlacement& pPlacement);

// Keeps the window reachable: W is the sum of all monitor widths and H the smallest monitor
// height; Left + 100 > W puts Left at 50, Top + 100 > H puts Top at 50.
TWindowPlacement KeepOnScreen(TWindowPlacement pPlacement, const QList<QRect>& pMonitors);

// One folder path per line; a byte-order mark selects the encoding, UTF-8 otherwise.
// Empty when the file is missing or unreadable.
QStringList ReadTabSet(const QString& pMemoPath);
// Writes the paths, one per line with CR LF, in UTF-8.
bool WriteTabSet(const QString& pMemoPath, const QStringList& pPaths);
// The text after the last "/" of the path: the whole rest, empty for a path ending in "/".
QString TabCaption(const QString& pPath);

} // namespace settei
