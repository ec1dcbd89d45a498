#pragma once

#include <dirent.h>
#include <unistd.h>
#include <utility>

namespace kiv::pf::lnx {

// Owns a file descriptor; closes it when destroyed.
class TFd
{
public:
    TFd() noexcept = default;
    explicit TFd(int pFd) noexcept
        : fFd(pFd)
    {
    }
    TFd(TFd&& pOther) noexcept
        : fFd(std::exchange(pOther.fFd, -1))
    {
    }
    TFd& operator=(TFd&& pOther) noexcept
    {
        if (this != &pOther)
            Reset(std::exchange(pOther.fFd, -1));
        return *this;
    }
    ~TFd() { Reset(); }

    int Get() const noexcept { return fFd; }
    bool IsValid() const noexcept { return fFd >= 0; }
    int Release() noexcept { return std::exchange(fFd, -1); }
    void Reset(int pFd = -1) noexcept
    {
        if (fFd >= 0)
            ::close(fFd);
        fFd = pFd;
    }

private:
    int fFd = -1;
};

// Owns a directory stream; closes it (and its descriptor) when destroyed.
class TDir
{
public:
    TDir() noexcept = default;
    explicit TDir(DIR* pDir) noexcept
        : fDir(pDir)
    {
    }
    TDir(TDir&& pOther) noexcept
        : fDir(std::exchange(pOther.fDir, nullptr))
    {
    }
    TDir& operator=(TDir&& pOther) noexcept
    {
        if (this != &pOther) {
            Reset();
            fDir = std::exchange(pOther.fDir, nullptr);
        }
        return *this;
    }
    ~TDir() { Reset(); }

    DIR* Get() const noexcept { return fDir; }
    bool IsValid() const noexcept { return fDir != nullptr; }
    void Reset() noexcept
    {
        if (fDir)
            ::closedir(fDir);
        fDir = nullptr;
    }

private:
    DIR* fDir = nullptr;
};

} // namespace kiv::pf::lnx
