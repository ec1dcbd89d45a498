#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

namespace kiv::pf::lnx {

// One application's freedesktop desktop entry: what the menus need to list it and start it.
// A value; made by ParseDesktopEntry, immutable afterwards.
struct TDesktopEntry
{
    // The desktop-file id ("org.example.Editor.desktop"; sub-folders joined with "-").
    std::string Id;
    // Where it was read from (what %k stands for).
    QString FilePath;
    // Name=, the user's language first (Name[de_DE], Name[de], Name).
    QString Name;
    QString Icon;
    // The command line with its field codes, string escapes already undone.
    QString Exec;
    QString TryExec;
    // The folder the program starts in (Path=); empty: the file's folder.
    QString WorkingDir;
    QStringList MimeTypes;
    QStringList Categories;
    bool Terminal = false;
    bool NoDisplay = false;
    // Hidden=true: the entry stands for a deleted one and hides entries of the same id.
    bool Hidden = false;
    bool IsApplication = false;
};

// Reads the "[Desktop Entry]" group of a desktop file's text. False when there is none.
bool ParseDesktopEntry(std::string_view pText, TDesktopEntry& pEntry);

// Splits an Exec value into words: blanks separate words, a double-quoted word keeps its blanks
// and takes "\"", "\`", "\$" and "\\" as escapes. False for an unterminated quote.
bool SplitExec(const QString& pExec, QStringList& pWords);

// The argument vectors that start pEntry for pFiles (absolute paths): each field code becomes
// words of its own, never text for a shell. %f and %u take one file each (so one vector per file
// when there are several), %F and %U all files as separate words, %i "--icon" and the icon,
// %c the name, %k the desktop file, %% a "%". Deprecated codes are dropped. An entry that takes
// no file starts once. Local files are passed as paths (they begin with "/", so a name that
// starts with "-" is never read as an option). Empty when the Exec value cannot be split.
std::vector<QStringList> ExpandExec(const TDesktopEntry& pEntry, const QStringList& pFiles);

} // namespace kiv::pf::lnx
