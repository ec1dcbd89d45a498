#pragma once

// The property keys the family names for its columns, and how they are compared. Every key is a
// published one (format id and property id), so that saved column sets and sort orders keep
// their meaning everywhere. Class operations only; any thread.

#include "core/platform/PropVariant.h"
#include "core/shell/KivShellTypes.h"

#include <QString>

namespace kiv {

class TShellColumns
{
public:
    TShellColumns() = delete;

    // The null id (null format id, property 0): no column.
    static TShellColumnId Invalid();
    // An id of the caller's own in the family's custom property set.
    static TShellColumnId CreateCustomId(std::uint32_t p_Pid);
    static bool IsCustomColumnId(const TShellColumnId& pId);
    // Same format id and property id.
    static bool IsEqualShellColumnId(const TShellColumnId& pId1, const TShellColumnId& pId2);
    // The key of a canonical name ("System.Size"); Invalid() for names nobody knows.
    static TShellColumnId FromCanonicalName(const QString& pName);

    // The family's own computed column: a drive's free space in percent. Folders do not know
    // it; it has the pseudo column number kFreePercentageColumn.
    static TShellColumnId KivDriveListFreePercentage();
    static constexpr int kFreePercentageColumn = 256;

    static TShellColumnId Name();
    static TShellColumnId Size();
    static TShellColumnId StorageType();
    static TShellColumnId WriteTime();
    static TShellColumnId CreateTime();
    static TShellColumnId AccessTime();
    static TShellColumnId Attributes();
    static TShellColumnId Path();
    static TShellColumnId ElementType();
    static TShellColumnId NetworkLocation();
    static TShellColumnId StorageProviderState();
    static TShellColumnId StorageProviderUIStatus();
    static TShellColumnId Store();
    static TShellColumnId DateReceived();
    static TShellColumnId DateSend();
    static TShellColumnId AttachmentNames();
    static TShellColumnId BCcAddress();
    static TShellColumnId BccName();
    static TShellColumnId CcAddress();
    static TShellColumnId CcName();
    static TShellColumnId ToAddresses();
    static TShellColumnId ToName();
    static TShellColumnId ParentFolder();
    static TShellColumnId FromAddress();
    static TShellColumnId FromName();
    static TShellColumnId Subject();
    static TShellColumnId Author();
    static TShellColumnId SaveTime();
    static TShellColumnId ContentCreated();
    static TShellColumnId LastSavedBy();
    static TShellColumnId LastPrinted();
    static TShellColumnId Comment();
    static TShellColumnId Title();
    static TShellColumnId Keywords();
    static TShellColumnId ItemDate();
    static TShellColumnId FileDescription();
    static TShellColumnId FileVersion();
    static TShellColumnId ProductName();
    static TShellColumnId ProductVersion();
    static TShellColumnId InternalName();
    static TShellColumnId FileExtension();
    static TShellColumnId Owner();
    static TShellColumnId Creator();
    static TShellColumnId ConversationID();
    static TShellColumnId ShortcutTarget();
    static TShellColumnId ThumbnailLargeUri();
    static TShellColumnId Media_Copyright();
    static TShellColumnId Media_Rating();
    static TShellColumnId Media_Publisher();
    static TShellColumnId Media_Composer();
    static TShellColumnId Volume_FreeSpace();
    static TShellColumnId Volume_TotalSpace();
    static TShellColumnId FullCapacity();
    static TShellColumnId FreeSize();
    static TShellColumnId FileSystem();
    static TShellColumnId HasAttachments();
    static TShellColumnId Image_BitDepth();
    static TShellColumnId Image_Dimensions();
    static TShellColumnId Image_HorizontalResolution();
    static TShellColumnId Image_HorizontalSize();
    static TShellColumnId Image_VerticalResolution();
    static TShellColumnId Image_VerticalSize();
    // Looked up by its canonical name "System.Image.Compression".
    static TShellColumnId Image_Compression();
    static TShellColumnId Photo_DateTaken();
    static TShellColumnId Photo_CameraModel();
    static TShellColumnId Photo_CameraManufacturer();
    static TShellColumnId Photo_Aperture();
    static TShellColumnId Photo_Event();
    static TShellColumnId Photo_ExposureTime();
    static TShellColumnId Photo_ExposureProgram();
    static TShellColumnId Photo_FNumber();
    static TShellColumnId Photo_Flash();
    static TShellColumnId Photo_FocalLength();
    static TShellColumnId Photo_ISOSpeed();
    static TShellColumnId Photo_Orientation();
    static TShellColumnId Photo_ShutterSpeed();
    static TShellColumnId Photo_OrientationText();
    static TShellColumnId Photo_ExifVersion();
    static TShellColumnId Audio_EncodingBitrate();
    static TShellColumnId Audio_SampleRate();
    static TShellColumnId Media_Duration();
    static TShellColumnId Music_Media_Year();
    static TShellColumnId Music_AlbumArtist();
    static TShellColumnId Music_AlbumTitle();
    static TShellColumnId Music_Artist();
    static TShellColumnId Music_BeatsPerMinute();
    static TShellColumnId Music_Genre();
    static TShellColumnId Music_Lyrics();
    static TShellColumnId Music_Mood();
    static TShellColumnId Music_TrackNumber();
    static TShellColumnId SearchSummary();

    // Between the family's ids and the platform's keys.
    static pf::PropertyKey ToPropertyKey(const TShellColumnId& pId);
    static TShellColumnId FromPropertyKey(const pf::PropertyKey& pKey);
};

} // namespace kiv
