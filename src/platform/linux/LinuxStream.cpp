#include "LinuxStream.h"

#include "Errno.h"
#include "Handles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kiv::pf::lnx {
namespace {

class TFileStream final : public IStream
{
public:
    explicit TFileStream(TFd pFd)
        : fFd(std::move(pFd))
    {
    }

    HResult Read(void* pBuffer, std::size_t pSize, std::size_t& pRead) override
    {
        pRead = 0;
        for (;;) {
            const ssize_t n = ::read(fFd.Get(), pBuffer, pSize);
            if (n >= 0) {
                pRead = static_cast<std::size_t>(n);
                return S_OK;
            }
            if (errno != EINTR)
                return HResultFromErrno(errno);
        }
    }

    HResult Seek(std::int64_t pOffset, SeekOrigin pOrigin, std::uint64_t* pPosition) override
    {
        const int whence = pOrigin == SeekOrigin::Begin     ? SEEK_SET
                           : pOrigin == SeekOrigin::Current ? SEEK_CUR
                                                            : SEEK_END;
        const off_t position = ::lseek(fFd.Get(), static_cast<off_t>(pOffset), whence);
        if (position < 0)
            return HResultFromErrno(errno);
        if (pPosition)
            *pPosition = static_cast<std::uint64_t>(position);
        return S_OK;
    }

    HResult Size(std::uint64_t& pSize, bool& pKnown) override
    {
        struct stat st
        {
        };
        if (::fstat(fFd.Get(), &st) != 0)
            return HResultFromErrno(errno);
        // Pipes and devices do not know their size.
        pKnown = S_ISREG(st.st_mode);
        pSize = pKnown ? static_cast<std::uint64_t>(st.st_size) : 0;
        return S_OK;
    }

private:
    TFd fFd;
};

} // namespace

HResult OpenFileStream(const std::string& pPath, IStreamPtr& pStream)
{
    TFd fd(::open(pPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsValid())
        return HResultFromErrno(errno);
    struct stat st
    {
    };
    if (::fstat(fd.Get(), &st) != 0)
        return HResultFromErrno(errno);
    if (S_ISDIR(st.st_mode))
        return E_NOINTERFACE;
    pStream = std::make_shared<TFileStream>(std::move(fd));
    return S_OK;
}

} // namespace kiv::pf::lnx
