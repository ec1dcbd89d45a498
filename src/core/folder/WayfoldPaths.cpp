// Path templates of the folder component: paths typed or configured in the controls may carry
// environment variables, the date and time, the documents folder and the home folder.

#include "core/folder/Wayfold.h"
#include "core/platform/IFileSystem.h"
#include "core/platform/IPlatform.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/PathUtils.h"

#include <QDate>
#include <QTime>

namespace kiv {

using F = TKivShellFolder;

QString TWayfold::ExpandPathVariables(const QString& pPath)
{
    QString text = pPath;
    if (!text.isEmpty()) {
        const QString expanded = pf::Platform().FileSystem().ExpandEnvironmentStrings(text);
        if (!expanded.isEmpty())
            text = expanded;
    }
    text.replace(QLatin1String("%DATE%"),
                 QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")), Qt::CaseInsensitive);
    text.replace(QLatin1String("%TIME%"), QTime::currentTime().toString(QStringLiteral("hh-mm-ss")),
                 Qt::CaseInsensitive);
    if (text.contains(QLatin1String("%MYDOCUMENTS%")))
        text.replace(QLatin1String("%MYDOCUMENTS%"), GetSpecialFolderPath(F::SF_PERSONAL));
    // "~" and "~/…" name the home folder here, as every shell of this host reads them.
    if (text == QLatin1String("~") || text.startsWith(QLatin1String("~/"))) {
        QString home;
        if (const auto environment = TPathUtils::Environment())
            home = environment->HomeDir();
        if (home.isEmpty())
            home = GetSpecialFolderPath(F::SF_PROFILE);
        if (!home.isEmpty()) {
            if (home.endsWith(u'/') && text.size() > 1)
                home.chop(1);
            text = home + text.mid(1);
        }
    }
    return text;
}

QString TWayfold::GetSpecialFolderPath(TKivShellFolder pFolder)
{
    const auto pathOf = [](TKivShellFolder pWhich) {
        const IItemIdListPtr list = TKivItemIdList::CreateForSpecialFolder(pWhich, true);
        return list && !list->IsInvalid() ? list->Path() : QString();
    };
    QString path = pathOf(pFolder);
    if (!path.isEmpty())
        return path;
    switch (pFolder) {
    case F::SF_PROGRAM_FILESX86:
        return pathOf(F::SF_PROGRAM_FILES);
    case F::SF_PROGRAM_FILES_COMMONX86:
        return pathOf(F::SF_PROGRAM_FILES_COMMON);
    case F::SF_SYSTEMX86:
        return pathOf(F::SF_SYSTEM);
    default:
        return path;
    }
}

} // namespace kiv
