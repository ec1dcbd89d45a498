#pragma once

#include "core/platform/IClipboard.h"
#include "core/shell/ClipboardFiles.h"

class QMimeData;

namespace kiv::pf::lnx {

// The window system's clipboard through Qt. Transfer formats map to the MIME types other file
// managers on this desktop read: dropped files become "text/uri-list" plus
// "x-special/gnome-copied-files" and "application/x-kde-cutselection" (which say whether the
// files were cut), item lists and virtual files travel in private types that only we read.
// Needs a QGuiApplication; without one every call answers CLIPBRD_E_CANT_OPEN.
class TLinuxClipboard final : public IClipboard
{
public:
    HResult SetText(const QString& pText) override;
    HResult GetText(QString& pText) override;
    HResult SetDataObject(const IDataObjectPtr& pData) override;
    HResult GetDataObject(IDataObjectPtr& pData) override;
    bool HasFormat(ClipFormat pFormat) override;
    HResult Empty() override;
};

// The MIME form of a data object's formats, and back (pure; exposed for tests and for drags).
// URIs of schemes other than "file:" become the paths pOther gives them, or are skipped.
QMimeData* MimeDataFromDataObject(IDataObject& pData);
IDataObjectPtr DataObjectFromMimeData(const QMimeData& pMime, const TUriToPath& pOther = {});

} // namespace kiv::pf::lnx
