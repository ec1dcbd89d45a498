#pragma once

#include <QByteArray>

#include <vector>

namespace kiv::test {

// Sets environment variables for a test and puts every one back (or unsets it) when the object
// goes, so a test can point HOME and the XDG folders at its own folder without touching the
// user's. Values are the bytes the process sees. Not thread-safe, like the environment itself.
class TScopedEnvironment
{
public:
    TScopedEnvironment() = default;
    ~TScopedEnvironment();
    TScopedEnvironment(const TScopedEnvironment&) = delete;
    TScopedEnvironment& operator=(const TScopedEnvironment&) = delete;

    void Set(const char* pName, const QByteArray& pValue);

private:
    struct TSaved
    {
        QByteArray Name;
        QByteArray Value;
        bool WasSet;
    };
    std::vector<TSaved> fSaved;
};

} // namespace kiv::test
