#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>

namespace kiv {

// pImage as a baseline JPEG file of quality pQuality (clamped to 1..100), with its transparent
// parts laid over pBackground (JPEG has no transparency). Empty for a null image or when the
// encoder fails. Thread-safe: every call has its own encoder.
QByteArray EncodeJpeg(const QImage& pImage, int pQuality, const QColor& pBackground);

} // namespace kiv
