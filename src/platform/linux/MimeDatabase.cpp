#include "MimeDatabase.h"

#include <QMimeDatabase>

namespace kiv::pf::lnx {

std::mutex& MimeDatabaseLock()
{
    static std::mutex lock;
    return lock;
}

QString MimeTypeOfExtension(const QString& pExtension)
{
    if (pExtension.isEmpty())
        return {};
    std::lock_guard lock(MimeDatabaseLock());
    const QMimeDatabase db;
    const QMimeType type =
        db.mimeTypeForFile(QStringLiteral("x.") + pExtension, QMimeDatabase::MatchExtension);
    return type.isDefault() ? QString() : type.name();
}

QString PerceivedTypeOf(const QString& pMimeType)
{
    static const QLatin1String kTopLevels[] = {QLatin1String("text"), QLatin1String("image"),
                                               QLatin1String("audio"), QLatin1String("video")};
    const QString top = pMimeType.section(u'/', 0, 0);
    for (QLatin1String level : kTopLevels)
        if (top == level)
            return level;
    std::lock_guard lock(MimeDatabaseLock());
    const QMimeType type = QMimeDatabase().mimeTypeForName(pMimeType);
    return type.isValid() && type.inherits(QStringLiteral("text/plain")) ? QStringLiteral("text")
                                                                         : QString();
}

} // namespace kiv::pf::lnx
