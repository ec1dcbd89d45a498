#include "LinuxClipboard.h"

#include "core/platform/DataObject.h"
#include "core/shell/ClipboardFiles.h"

#include <QMimeData>

#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <thread>

namespace kiv::pf::lnx {
namespace {

const QStringList kPaths = {QStringLiteral("/home/u/a b.txt"), QStringLiteral("/home/u/\u00e9")};

std::shared_ptr<TDataObject> Files(std::optional<std::uint32_t> pEffect)
{
    auto data = std::make_shared<TDataObject>();
    data->SetData(ClipFormat::HDrop, TClipboardFiles::BuildDropFiles(kPaths));
    if (pEffect)
        data->SetData(ClipFormat::PreferredDropEffect, DropEffectToBytes(*pEffect));
    return data;
}

QStringList DroppedFiles(IDataObject& pData)
{
    QByteArray bytes;
    return Succeeded(pData.GetData(ClipFormat::HDrop, bytes))
               ? TClipboardFiles::ParseDropFiles(bytes)
               : QStringList();
}

std::optional<std::uint32_t> Effect(IDataObject& pData)
{
    QByteArray bytes;
    if (Failed(pData.GetData(ClipFormat::PreferredDropEffect, bytes)))
        return std::nullopt;
    return DropEffectFromBytes(bytes);
}

// Cut files must reach other file managers as cut, and come back from them as cut.
TEST(LinuxClipboardTest, FilesMapToTheDesktopTypesAndBack)
{
    std::unique_ptr<QMimeData> cut(MimeDataFromDataObject(*Files(DROPEFFECT_MOVE)));
    EXPECT_TRUE(cut->data(QStringLiteral("x-special/gnome-copied-files")).startsWith("cut\n"));
    EXPECT_EQ(cut->data(QStringLiteral("application/x-kde-cutselection")), QByteArray("1"));
    EXPECT_EQ(TClipboardFiles::ParseUriList(cut->data(QStringLiteral("text/uri-list"))), kPaths);
    const IDataObjectPtr back = DataObjectFromMimeData(*cut);
    EXPECT_EQ(DroppedFiles(*back), kPaths);
    EXPECT_EQ(Effect(*back), DROPEFFECT_MOVE);

    std::unique_ptr<QMimeData> copied(MimeDataFromDataObject(*Files(std::nullopt)));
    EXPECT_EQ(Effect(*DataObjectFromMimeData(*copied)), DROPEFFECT_COPY);

    // A browser's plain link list: files without a cut-or-copy mark; other schemes are skipped.
    QMimeData links;
    links.setData(QStringLiteral("text/uri-list"),
                  "https://example.org/x\r\nfile:///home/u/a%20b.txt\r\n");
    const IDataObjectPtr linked = DataObjectFromMimeData(links);
    EXPECT_EQ(DroppedFiles(*linked), QStringList{kPaths[0]});
    EXPECT_FALSE(Effect(*linked));

    // Text alone is text, not files.
    QMimeData text;
    text.setText(QStringLiteral("/home/u/a b.txt"));
    const IDataObjectPtr textOnly = DataObjectFromMimeData(text);
    EXPECT_EQ(textOnly->QueryGetData(ClipFormat::HDrop), DV_E_FORMATETC);
    EXPECT_EQ(textOnly->QueryGetData(ClipFormat::UnicodeText), S_OK);
}

// The window system's clipboard (offscreen here), and its owner thread.
TEST(LinuxClipboardTest, RoundTripOnTheApplicationThreadOnly)
{
    TLinuxClipboard clipboard;
    ASSERT_EQ(clipboard.SetDataObject(Files(DROPEFFECT_MOVE)), S_OK);
    EXPECT_TRUE(clipboard.HasFormat(ClipFormat::HDrop));
    IDataObjectPtr data;
    ASSERT_EQ(clipboard.GetDataObject(data), S_OK);
    EXPECT_EQ(DroppedFiles(*data), kPaths);
    EXPECT_EQ(Effect(*data), DROPEFFECT_MOVE);

    ASSERT_EQ(clipboard.SetText(QStringLiteral("one\r\ntwo")), S_OK);
    QString text;
    ASSERT_EQ(clipboard.GetText(text), S_OK);
    EXPECT_EQ(text, QStringLiteral("one\r\ntwo"));
    EXPECT_FALSE(clipboard.HasFormat(ClipFormat::HDrop));

    HResult fromWorker = S_OK;
    std::thread([&] { fromWorker = clipboard.SetText(QStringLiteral("x")); }).join();
    EXPECT_EQ(fromWorker, RPC_E_WRONG_THREAD);
    ASSERT_EQ(clipboard.GetText(text), S_OK);
    EXPECT_EQ(text, QStringLiteral("one\r\ntwo"));

    ASSERT_EQ(clipboard.Empty(), S_OK);
    EXPECT_EQ(clipboard.GetText(text), DV_E_FORMATETC);
}

} // namespace
} // namespace kiv::pf::lnx
