#include "core/platform/DataObject.h"

#include <QString>

#include <algorithm>

namespace kiv::pf {

namespace {

auto FindFormat(std::vector<std::pair<ClipFormat, QByteArray>>& pFormats, ClipFormat pFormat)
{
    return std::find_if(pFormats.begin(), pFormats.end(),
                        [pFormat](const auto& pEntry) { return pEntry.first == pFormat; });
}

} // namespace

HResult TDataObject::QueryGetData(ClipFormat pFormat)
{
    std::lock_guard lock(fLock);
    return FindFormat(fFormats, pFormat) != fFormats.end() ? S_OK : DV_E_FORMATETC;
}

HResult TDataObject::GetData(ClipFormat pFormat, QByteArray& pData)
{
    std::lock_guard lock(fLock);
    const auto found = FindFormat(fFormats, pFormat);
    if (found == fFormats.end())
        return DV_E_FORMATETC;
    pData = found->second;
    return S_OK;
}

HResult TDataObject::SetData(ClipFormat pFormat, const QByteArray& pData)
{
    std::lock_guard lock(fLock);
    const auto found = FindFormat(fFormats, pFormat);
    if (found != fFormats.end())
        found->second = pData;
    else
        fFormats.emplace_back(pFormat, pData);
    return S_OK;
}

std::vector<ClipFormat> TDataObject::EnumFormats()
{
    std::lock_guard lock(fLock);
    std::vector<ClipFormat> formats;
    formats.reserve(fFormats.size());
    for (const auto& entry : fFormats)
        formats.push_back(entry.first);
    return formats;
}

std::shared_ptr<TDataObject> CopyDataObject(IDataObject& pSource)
{
    auto copy = std::make_shared<TDataObject>();
    for (ClipFormat format : pSource.EnumFormats()) {
        QByteArray data;
        if (Succeeded(pSource.GetData(format, data)))
            copy->SetData(format, data);
    }
    return copy;
}

std::uint32_t DropEffectFromBytes(const QByteArray& pData)
{
    if (pData.size() < 4)
        return DROPEFFECT_NONE;
    const auto* bytes = reinterpret_cast<const unsigned char*>(pData.constData());
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

QByteArray DropEffectToBytes(std::uint32_t pEffect)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((pEffect >> (8 * i)) & 0xFF);
    return bytes;
}

QByteArray TextToBytes(const QString& pText)
{
    // UTF-16 in the host's order, as the system's text format keeps it.
    return QByteArray(reinterpret_cast<const char*>(pText.utf16()),
                      static_cast<qsizetype>(pText.size() * sizeof(char16_t)));
}

QString TextFromBytes(const QByteArray& pData)
{
    const qsizetype units = pData.size() / qsizetype(sizeof(char16_t));
    QString text(units, Qt::Uninitialized);
    std::copy_n(pData.constData(), units * qsizetype(sizeof(char16_t)),
                reinterpret_cast<char*>(text.data()));
    // A terminator written by another program ends the text.
    const qsizetype end = text.indexOf(QChar(u'\0'));
    if (end >= 0)
        text.truncate(end);
    return text;
}

} // namespace kiv::pf
