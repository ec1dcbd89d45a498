#include "Errno.h"

#include <cerrno>

namespace kiv::pf::lnx {

std::uint32_t Win32FromErrno(int pErrno, TMissing pMissing)
{
    namespace w = win32;
    switch (pErrno) {
    case 0:
        return 0;
    case ENOENT:
        return pMissing == TMissing::File ? w::ERROR_FILE_NOT_FOUND : w::ERROR_PATH_NOT_FOUND;
    case ENOTDIR:
    case ELOOP:
        return w::ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
        return w::ERROR_ACCESS_DENIED;
    case EBUSY:
    case ETXTBSY:
        return w::ERROR_SHARING_VIOLATION;
    case EEXIST:
        return w::ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
        return w::ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT:
        return w::ERROR_DISK_FULL;
    case EROFS:
        return w::ERROR_WRITE_PROTECT;
    case EXDEV:
        return w::ERROR_NOT_SAME_DEVICE;
    case ENAMETOOLONG:
        return w::ERROR_FILENAME_EXCED_RANGE;
    case EINVAL:
    case EILSEQ:
        return w::ERROR_INVALID_NAME;
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ETIMEDOUT:
    case ENOTCONN:
    case ECONNREFUSED:
    case ENETUNREACH:
        return w::ERROR_BAD_NETPATH;
    case EIO:
    case ENOMEDIUM:
    case ENXIO:
        return w::ERROR_NOT_READY;
    case ENOMEM:
        return w::ERROR_NOT_ENOUGH_MEMORY;
    case ECANCELED:
        return w::ERROR_CANCELLED;
    case ENOTSUP:
        return w::ERROR_NOT_SUPPORTED;
    default:
        return w::ERROR_IO_DEVICE;
    }
}

} // namespace kiv::pf::lnx
