#include "ScopedEnvironment.h"

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

} // namespace kiv::test
