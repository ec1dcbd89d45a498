#include "JpegEncoder.h"

#include <QPainter>

#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t declared before it
#include <cstdlib>
#include <jpeglib.h>

namespace kiv {
namespace {

// The encoder's default error handler ends the process; this one jumps back to the call instead.
struct TJpegErrors
{
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
};

[[noreturn]] void OnJpegError(j_common_ptr pInfo)
{
    std::longjmp(reinterpret_cast<TJpegErrors*>(pInfo->err)->Jump, 1);
}

void IgnoreJpegMessage(j_common_ptr /*pInfo*/) {}

// Compresses 8-bit RGB rows. Nothing with a destructor lives in this frame, so the jump back
// from the error handler leaves nothing behind but the encoder's own memory, which
// jpeg_destroy_compress frees. pOutput is malloc'ed by the encoder (free it also on failure).
bool CompressRgb(const unsigned char* pPixels, int pWidth, int pHeight, int pStride, int pQuality,
                 jpeg_compress_struct& pInfo, TJpegErrors& pErrors, unsigned char** pOutput,
                 unsigned long* pOutputSize)
{
    pInfo.err = jpeg_std_error(&pErrors.Manager);
    pErrors.Manager.error_exit = OnJpegError;
    pErrors.Manager.output_message = IgnoreJpegMessage;
    if (setjmp(pErrors.Jump) != 0) {
        jpeg_destroy_compress(&pInfo);
        return false;
    }
    jpeg_create_compress(&pInfo);
    jpeg_mem_dest(&pInfo, pOutput, pOutputSize);
    pInfo.image_width = static_cast<JDIMENSION>(pWidth);
    pInfo.image_height = static_cast<JDIMENSION>(pHeight);
    pInfo.input_components = 3;
    pInfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&pInfo);
    jpeg_set_quality(&pInfo, pQuality, TRUE);
    jpeg_start_compress(&pInfo, TRUE);
    while (pInfo.next_scanline < pInfo.image_height) {
        // The encoder only reads the rows; its interface predates const.
        auto* row = const_cast<unsigned char*>(pPixels) +
                    static_cast<std::ptrdiff_t>(pInfo.next_scanline) * pStride;
        jpeg_write_scanlines(&pInfo, &row, 1);
    }
    jpeg_finish_compress(&pInfo);
    jpeg_destroy_compress(&pInfo);
    return true;
}

} // namespace

QByteArray EncodeJpeg(const QImage& pImage, int pQuality, const QColor& pBackground)
{
    if (pImage.isNull())
        return {};
    QImage rgb(pImage.size(), QImage::Format_RGB888);
    rgb.fill(pBackground);
    {
        QPainter painter(&rgb);
        painter.drawImage(0, 0, pImage);
    }
    jpeg_compress_struct info{};
    TJpegErrors errors{};
    unsigned char* output = nullptr;
    unsigned long outputSize = 0;
    const bool compressed = CompressRgb(
        rgb.constBits(), rgb.width(), rgb.height(), static_cast<int>(rgb.bytesPerLine()),
        std::clamp(pQuality, 1, 100), info, errors, &output, &outputSize);
    QByteArray result;
    if (compressed && output)
        result =
            QByteArray(reinterpret_cast<const char*>(output), static_cast<qsizetype>(outputSize));
    std::free(output);
    return result;
}

} // namespace kiv
