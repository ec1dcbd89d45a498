#include "PreviewContent.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <algorithm>

namespace kiv::ui {

pf::HResult ReadStreamHead(pf::IStream& pStream, std::uint64_t pLimit, QByteArray& pBytes,
                           bool& pTruncated)
{
    pBytes.clear();
    pTruncated = false;
    if (const pf::HResult seek = pStream.Seek(0, pf::SeekOrigin::Begin, nullptr); pf::Failed(seek))
        return seek;
    // 64 KiB steps: large enough that a 5 MiB text takes few calls.
    constexpr std::size_t kStep = 64 * 1024;
    while (static_cast<std::uint64_t>(pBytes.size()) < pLimit) {
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(kStep, pLimit - static_cast<std::uint64_t>(pBytes.size())));
        const qsizetype at = pBytes.size();
        pBytes.resize(at + static_cast<qsizetype>(want));
        std::size_t got = 0;
        const pf::HResult read = pStream.Read(pBytes.data() + at, want, got);
        pBytes.resize(at + static_cast<qsizetype>(got));
        if (pf::Failed(read))
            return read;
        if (got == 0)
            return pf::S_OK;
    }
    // At the limit: one byte more tells whether the content goes on.
    char probe = 0;
    std::size_t got = 0;
    if (pf::Succeeded(pStream.Read(&probe, 1, got)))
        pTruncated = got > 0;
    return pf::S_OK;
}

pf::HResult ReadFileHead(const QString& pPath, std::uint64_t pLimit, QByteArray& pBytes,
                         bool& pTruncated)
{
    pBytes.clear();
    pTruncated = false;
    QFile file(pPath);
    if (!file.open(QIODevice::ReadOnly))
        return file.error() == QFileDevice::PermissionsError
                   ? pf::HResultFromWin32(pf::win32::ERROR_ACCESS_DENIED)
                   : pf::HResultFromWin32(pf::win32::ERROR_FILE_NOT_FOUND);
    pBytes = file.read(static_cast<qint64>(pLimit) + 1);
    if (static_cast<std::uint64_t>(pBytes.size()) > pLimit) {
        pBytes.truncate(static_cast<qsizetype>(pLimit));
        pTruncated = true;
    }
    return file.error() == QFileDevice::NoError ? pf::S_OK : pf::E_FAIL;
}

bool OnUiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

} // namespace kiv::ui
