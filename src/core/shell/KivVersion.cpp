#include "KivVersion.h"

namespace kiv {

QString FamilyVersion()
{
    return QStringLiteral("1.0.0");
}

QString ComponentVersion(QStringView pClassName)
{
    return pClassName.toString() + u' ' + FamilyVersion();
}

} // namespace kiv
