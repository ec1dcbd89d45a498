#include "TestDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kiv::test {

TestDir::TestDir()
    : fDir(QDir::tempPath() + QStringLiteral("/kiv-test-XXXXXX"))
{
}

QString TestDir::Join(const QString& pRelative) const
{
    return fDir.filePath(pRelative);
}

QString TestDir::CreateFile(const QString& pRelative, const QByteArray& pContents)
{
    const QString path = Join(pRelative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(pContents);
    return path;
}

QString TestDir::CreateFolder(const QString& pRelative)
{
    const QString path = Join(pRelative);
    QDir().mkpath(path);
    return path;
}

QByteArray TestDir::ReadFile(const QString& pRelative) const
{
    QFile file(Join(pRelative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace kiv::test
