#include "ScopedEnvironment.h"

#include "TestDir.h"

#include <QFile>
#include <QtGlobal>

namespace kiv::test {

TScopedEnvironment::~TScopedEnvironment()
{
    // Backwards, so a variable set twice gets its first value back.
    for (auto saved = fSaved.rbegin(); saved != fSaved.rend(); ++saved) {
        if (saved->WasSet)
            qputenv(saved->Name.constData(), saved->Value);
        else
            qunsetenv(saved->Name.constData());
    }
}

void TScopedEnvironment::Set(const char* pName, const QByteArray& pValue)
{
    fSaved.push_back(TSaved{pName, qgetenv(pName), qEnvironmentVariableIsSet(pName)});
    qputenv(pName, pValue);
}

void UseTestDesktopHome(TScopedEnvironment& pEnv, TestDir& pHome)
{
    pEnv.Set("HOME", pHome.Path().toUtf8());
    pEnv.Set("XDG_CONFIG_HOME", pHome.Join(QStringLiteral(".config")).toUtf8());
    pEnv.Set("XDG_DATA_HOME", pHome.Join(QStringLiteral(".local/share")).toUtf8());
    pEnv.Set("XDG_CACHE_HOME", pHome.Join(QStringLiteral(".cache")).toUtf8());
    pEnv.Set("XDG_DATA_DIRS", pHome.Join(QStringLiteral("system/share")).toUtf8());
    pEnv.Set("XDG_CONFIG_DIRS", pHome.Join(QStringLiteral("system/xdg")).toUtf8());
    pEnv.Set("XDG_CURRENT_DESKTOP", "Test");
    pHome.CreateFolder(QStringLiteral(".local/share"));
    pHome.CreateFolder(QStringLiteral("system/share"));
    QFile::link(QStringLiteral("/usr/share/mime"), pHome.Join(QStringLiteral("system/share/mime")));
}

} // namespace kiv::test
