#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace kiv::test {

// A private temporary folder that tests fill with files and folders; removed with the object.
// Never the user's folders, never fixed names in the shared temporary directory.
class TestDir
{
public:
    TestDir();

    bool IsValid() const { return fDir.isValid(); }
    // The folder's absolute path, without a trailing "/".
    QString Path() const { return fDir.path(); }
    QString Join(const QString& pRelative) const;

    // Creates the file (and its parent folders) with the given bytes; returns its absolute path.
    QString CreateFile(const QString& pRelative, const QByteArray& pContents = {});
    // Creates the folder and its parents; returns its absolute path.
    QString CreateFolder(const QString& pRelative);
    QByteArray ReadFile(const QString& pRelative) const;

private:
    QTemporaryDir fDir;
};

} // namespace kiv::test
