#pragma once

#include <QByteArray>

#include <vector>

namespace kiv::test {

class TestDir;

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

// Points HOME and every XDG folder of the desktop (config, data, cache, the system's data and
// config folders) into pHome, with the desktop named "Test". The system's data folder is the
// test's own but for the MIME database, linked in read-only from /usr/share/mime.
void UseTestDesktopHome(TScopedEnvironment& pEnv, TestDir& pHome);

} // namespace kiv::test
