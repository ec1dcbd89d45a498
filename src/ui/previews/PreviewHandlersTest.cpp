#include "BuiltInPreviewHandlers.h"
#include "DocumentPreviewHandler.h"
#include "ImagePreviewHandler.h"
#include "PageView.h"
#include "PdfControl.h"
#include "PdfRender.h"
#include "PreviewContent.h"
#include "ScopedEnvironment.h"
#include "TextPreviewHandler.h"
#include "core/platform/IRegistry.h"
#include "platform/linux/LinuxPlatform.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include <cstring>
#include <thread>

namespace kiv::ui {
namespace {

// A file's content in memory, as a host hands it over.
class TBytesStream final : public pf::IStream
{
public:
    explicit TBytesStream(QByteArray pBytes)
        : fBytes(std::move(pBytes))
    {
    }
    pf::HResult Read(void* pBuffer, std::size_t pSize, std::size_t& pRead) override
    {
        pRead = std::min<std::size_t>(pSize, static_cast<std::size_t>(fBytes.size() - fAt));
        std::memcpy(pBuffer, fBytes.constData() + fAt, pRead);
        fAt += static_cast<qsizetype>(pRead);
        return pf::S_OK;
    }
    pf::HResult Seek(std::int64_t pOffset, pf::SeekOrigin pOrigin,
                     std::uint64_t* pPosition) override
    {
        const qsizetype base = pOrigin == pf::SeekOrigin::Begin ? 0
                               : pOrigin == pf::SeekOrigin::End ? fBytes.size()
                                                                : fAt;
        fAt = std::clamp<qsizetype>(base + static_cast<qsizetype>(pOffset), 0, fBytes.size());
        if (pPosition)
            *pPosition = static_cast<std::uint64_t>(fAt);
        return pf::S_OK;
    }
    pf::HResult Size(std::uint64_t& pSize, bool& pKnown) override
    {
        pSize = static_cast<std::uint64_t>(fBytes.size());
        pKnown = true;
        return pf::S_OK;
    }

private:
    QByteArray fBytes;
    qsizetype fAt = 0;
};

pf::IStreamPtr StreamOf(const QByteArray& pBytes)
{
    return std::make_shared<TBytesStream>(pBytes);
}

// Initialize on a worker thread, as the host's handler thread does.
pf::HResult InitializeOnWorker(pf::IPreviewHandler& pHandler, const QByteArray& pBytes)
{
    pf::HResult result = pf::E_FAIL;
    std::thread worker(
        [&] { result = pHandler.InitializeWithStream(StreamOf(pBytes), pf::stgm::READ); });
    worker.join();
    return result;
}

QByteArray OnePagePdf()
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    QPainter painter(&writer);
    // A black block over the upper half: the rendered page must show dark pixels there.
    painter.fillRect(QRect(0, 0, writer.width(), writer.height() / 2), Qt::black);
    painter.end();
    return bytes;
}

class PreviewHandlersTest : public QObject
{
    Q_OBJECT

private slots:
    void textEncodings_data();
    void textEncodings();
    void textFlowOnWorkerAndUiThread();
    void textStopsAtFiveMebibytes();
    void svgIsRenderedWhenInitialized();
    void htmlLoadsNothingRemote();
    void pdfPageIsRendered();
    void pictureIsDecodedSmallAndFitted();
    void factoryAndRegistrationNames();
    void registryPublishesTheInstalledHandlers();
};

void PreviewHandlersTest::textEncodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("truncated");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QString>("text");
    const QString accented = QStringLiteral("Gr\u00FC\u00DFe \u20AC");
    QTest::newRow("utf-8") << accented.toUtf8() << false << int(TTextEncoding::Utf8) << accented;
    QTest::newRow("utf-8 bom") << QByteArray("\xEF\xBB\xBF") + accented.toUtf8() << false
                               << int(TTextEncoding::Utf8Bom) << accented;
    QByteArray utf16le("\xFF\xFE", 2);
    for (QChar c : accented)
        utf16le.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    QTest::newRow("utf-16 le") << utf16le << false << int(TTextEncoding::Utf16LE) << accented;
    QByteArray utf16be("\xFE\xFF", 2);
    for (QChar c : accented)
        utf16be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    QTest::newRow("utf-16 be") << utf16be << false << int(TTextEncoding::Utf16BE) << accented;
    // Not UTF-8: every byte is one character.
    QTest::newRow("latin-1") << QByteArray("caf\xE9 na\xEFve") << false
                             << int(TTextEncoding::Latin1)
                             << QStringLiteral("caf\u00E9 na\u00EFve");
    // A head cut inside "€" (3 bytes) is still UTF-8; the broken character is left out.
    QTest::newRow("utf-8 cut inside a character")
        << accented.toUtf8().chopped(1) << true << int(TTextEncoding::Utf8) << accented.chopped(1);
    QTest::newRow("utf-16 cut inside a unit")
        << utf16le.chopped(1) << true << int(TTextEncoding::Utf16LE) << accented.chopped(1);
}

void PreviewHandlersTest::textEncodings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, truncated);
    QFETCH(int, encoding);
    QFETCH(QString, text);
    QString decoded;
    TTextEncoding found = TTextEncoding::Utf8;
    QVERIFY(DecodePreviewText(bytes, truncated, decoded, found));
    QCOMPARE(int(found), encoding);
    QCOMPARE(decoded, text);
}

void PreviewHandlersTest::textFlowOnWorkerAndUiThread()
{
    QWidget host;
    host.resize(400, 300);
    auto handler = std::make_shared<TTextPreviewHandler>();
    QCOMPARE(InitializeOnWorker(*handler, "first line\nsecond line\n"), pf::S_OK);

    // Widgets belong to the user-interface thread: from a worker the window calls are refused
    // and make nothing.
    pf::HResult fromWorker = pf::S_OK;
    std::thread([&] { fromWorker = handler->SetWindow(&host, QRect(0, 0, 400, 300)); }).join();
    QCOMPARE(fromWorker, RPC_E_WRONG_THREAD);
    QVERIFY(!host.findChild<QPlainTextEdit*>());

    QCOMPARE(handler->SetWindow(&host, QRect(0, 0, 400, 300)), pf::S_OK);
    QCOMPARE(handler->Visuals()->SetBackgroundColor(Qt::yellow), pf::S_OK);
    QCOMPARE(handler->DoPreview(), pf::S_OK);
    QPlainTextEdit* editor = host.findChild<QPlainTextEdit*>();
    QVERIFY(editor);
    QVERIFY(editor->isReadOnly());
    QCOMPARE(editor->toPlainText(), QStringLiteral("first line\nsecond line\n"));
    QCOMPARE(editor->palette().color(QPalette::Base), QColor(Qt::yellow));
    QCOMPARE(handler->SetRect(QRect(10, 10, 200, 100)), pf::S_OK);
    QCOMPARE(editor->geometry(), QRect(10, 10, 200, 100));

    QCOMPARE(handler->Unload(), pf::S_OK);
    QVERIFY(!host.findChild<QPlainTextEdit*>());
    // Nothing to show any more.
    QCOMPARE(handler->DoPreview(), pf::E_UNEXPECTED);
}

void PreviewHandlersTest::textStopsAtFiveMebibytes()
{
    // ASCII up to the limit, then more: the text ends exactly at 5 MiB.
    QByteArray bytes(static_cast<qsizetype>(TTextPreviewHandler::kMaxBytes), 'a');
    bytes.append("TAIL");
    TTextPreviewHandler handler;
    QCOMPARE(handler.InitializeWithStream(StreamOf(bytes), pf::stgm::READ), pf::S_OK);
    QCOMPARE(handler.Text().size(), qsizetype(TTextPreviewHandler::kMaxBytes));
    QVERIFY(!handler.Text().contains(QLatin1String("TAIL")));
    QCOMPARE(int(handler.Encoding()), int(TTextEncoding::Utf8));
}

void PreviewHandlersTest::svgIsRenderedWhenInitialized()
{
    const QByteArray svg = R"(<?xml version="1.0"?>
<svg xmlns="http://www.w3.org/2000/svg" width="40" height="20">
  <rect x="0" y="0" width="40" height="20" fill="#ff0000"/>
</svg>)";
    QWidget host;
    host.resize(300, 300);
    TDocumentPreviewHandler handler;
    QCOMPARE(InitializeOnWorker(handler, svg), pf::S_OK);
    QCOMPARE(handler.Kind(), TDocumentPreviewHandler::TKind::Svg);
    QCOMPARE(handler.Pages().size(), std::size_t(1));
    const QImage& image = handler.Pages().front();
    // Rendered large, in the drawing's proportions, in its colour.
    QCOMPARE(image.width(), TDocumentPreviewHandler::kSvgPixels);
    QCOMPARE(image.height(), TDocumentPreviewHandler::kSvgPixels / 2);
    QCOMPARE(image.pixelColor(image.width() / 2, image.height() / 2), QColor(255, 0, 0));

    QCOMPARE(handler.SetWindow(&host, QRect(0, 0, 300, 300)), pf::S_OK);
    QCOMPARE(handler.DoPreview(), pf::S_OK);
    auto* view = host.findChild<TPageView*>();
    QVERIFY(view);
    QCOMPARE(view->Pages().size(), std::size_t(1));
    QCOMPARE(view->Layout(), TPageView::TLayout::SinglePage);
    QCOMPARE(handler.Unload(), pf::S_OK);
    QVERIFY(!host.findChild<TPageView*>());

    TDocumentPreviewHandler broken;
    QCOMPARE(broken.InitializeWithStream(StreamOf("<svg xmlns=\"http://www.w3.org/2000/svg\"><g"),
                                         pf::stgm::READ),
             pf::E_FAIL);
}

void PreviewHandlersTest::htmlLoadsNothingRemote()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const QByteArray base = "http://127.0.0.1:" + QByteArray::number(server.serverPort());
    const QByteArray html = "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                            "<link rel=\"stylesheet\" href=\"" +
                            base +
                            "/style.css\">"
                            "<script>document.write('SCRIPT RAN')</script></head>"
                            "<body><p>Hello \xC3\xA9t\xC3\xA9</p><img src=\"" +
                            base + "/pixel.png\"><img src=\"file:///etc/hostname\"></body></html>";
    QWidget host;
    host.resize(400, 300);
    host.show();
    TDocumentPreviewHandler handler;
    QCOMPARE(InitializeOnWorker(handler, html), pf::S_OK);
    QCOMPARE(handler.Kind(), TDocumentPreviewHandler::TKind::Html);
    QCOMPARE(handler.SetWindow(&host, QRect(0, 0, 400, 300)), pf::S_OK);
    QCOMPARE(handler.DoPreview(), pf::S_OK);
    auto* browser = host.findChild<QTextBrowser*>();
    QVERIFY(browser);
    QVERIFY(browser->isVisible());
    QVERIFY(browser->toPlainText().contains(QStringLiteral("Hello \u00E9t\u00E9")));
    QVERIFY(!browser->toPlainText().contains(QLatin1String("SCRIPT RAN")));
    // Laid out and painted: any load it were to start would have begun by now.
    browser->grab();
    QTest::qWait(200);
    QVERIFY(!server.hasPendingConnections());
    QVERIFY(!server.waitForNewConnection(100));
    QCOMPARE(handler.Unload(), pf::S_OK);
}

void PreviewHandlersTest::pdfPageIsRendered()
{
    if (!PdfRenderingAvailable())
        QSKIP("built without Poppler");
    const QByteArray pdf = OnePagePdf();
    QWidget host;
    host.resize(300, 400);
    TDocumentPreviewHandler handler;
    QCOMPARE(InitializeOnWorker(handler, pdf), pf::S_OK);
    QCOMPARE(handler.Kind(), TDocumentPreviewHandler::TKind::Pdf);
    QCOMPARE(handler.Pages().size(), std::size_t(1));
    const QImage& page = handler.Pages().front();
    QCOMPARE(page.width(), TDocumentPreviewHandler::kPdfPageWidth);
    // A4 proportions; dark above, light below.
    QVERIFY(qAbs(page.height() - qRound(page.width() * 297.0 / 210.0)) <= 2);
    QVERIFY(qGray(page.pixel(page.width() / 2, page.height() / 4)) < 64);
    QVERIFY(qGray(page.pixel(page.width() / 2, page.height() * 3 / 4)) > 192);

    QCOMPARE(handler.SetWindow(&host, QRect(0, 0, 300, 400)), pf::S_OK);
    QCOMPARE(handler.DoPreview(), pf::S_OK);
    auto* view = host.findChild<TPageView*>();
    QVERIFY(view);
    QCOMPARE(view->Layout(), TPageView::TLayout::FitWidth);
    QCOMPARE(handler.Unload(), pf::S_OK);

    // A damaged document fails in Initialize, so the host falls back at once.
    TDocumentPreviewHandler damaged;
    QCOMPARE(damaged.InitializeWithStream(StreamOf(pdf.left(pdf.size() / 2)), pf::stgm::READ),
             pf::E_FAIL);
}

void PreviewHandlersTest::pictureIsDecodedSmallAndFitted()
{
    QImage picture(4000, 1000, QImage::Format_RGB32);
    picture.fill(QColor(0, 0, 255));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(picture.save(&buffer, "PNG"));

    TImagePreviewHandler handler;
    QCOMPARE(InitializeOnWorker(handler, png), pf::S_OK);
    QCOMPARE(handler.Image().size(), QSize(TImagePreviewHandler::kMaxPixels, 512));
    QCOMPARE(handler.Image().pixelColor(10, 10), QColor(0, 0, 255));
    QWidget host;
    host.resize(200, 200);
    QCOMPARE(handler.SetWindow(&host, QRect(0, 0, 200, 200)), pf::S_OK);
    QCOMPARE(handler.DoPreview(), pf::S_OK);
    auto* view = host.findChild<TPageView*>();
    QVERIFY(view);
    QCOMPARE(view->Layout(), TPageView::TLayout::SinglePage);
    QCOMPARE(handler.Unload(), pf::S_OK);
    QVERIFY(!host.findChild<TPageView*>());

    TImagePreviewHandler notAPicture;
    QCOMPARE(notAPicture.InitializeWithStream(StreamOf("plain words"), pf::stgm::READ), pf::E_FAIL);
    QVERIFY(TImagePreviewHandler::MimeTypes().contains(QStringLiteral("image/png")));
    QVERIFY(!TImagePreviewHandler::MimeTypes().contains(QStringLiteral("image/svg+xml")));
}

void PreviewHandlersTest::factoryAndRegistrationNames()
{
    TBuiltInPreviewHandlers factory;
    pf::IPreviewHandlerPtr handler;
    QCOMPARE(factory.Create(pf::previewids::CLSID_TextPreviewer, handler), pf::S_OK);
    QVERIFY(dynamic_cast<TTextPreviewHandler*>(handler.get()));
    QVERIFY(handler->RequiresUiThread());
    QCOMPARE(factory.Create(pf::previewids::CLSID_DocumentPreviewer, handler), pf::S_OK);
    QVERIFY(dynamic_cast<TDocumentPreviewHandler*>(handler.get()));
    QCOMPARE(factory.Create(pf::previewids::CLSID_ImagePreviewer, handler), pf::S_OK);
    QVERIFY(dynamic_cast<TImagePreviewHandler*>(handler.get()));
    QCOMPARE(factory.Create(pf::previewids::CLSID_SvgPreviewerOld, handler),
             pf::REGDB_E_CLASSNOTREG);
    QVERIFY(!handler);
    QVERIFY(!factory.IsRegistered(pf::previewids::CLSID_MkvPreviewer));

    bool pdfListed = false;
    for (const pf::PreviewHandlerClass& entry : factory.Classes()) {
        QVERIFY(factory.IsRegistered(entry.Clsid));
        pdfListed = pdfListed || entry.MimeTypes.contains(QStringLiteral("application/pdf"));
    }
    QCOMPARE(pdfListed, PdfRenderingAvailable());

    pf::Guid clsid;
    const pf::HResult progId = factory.ClsidFromProgId(QStringLiteral("AcroPDF.PDF"), clsid);
    QCOMPARE(progId, PdfRenderingAvailable() ? pf::S_OK : pf::CO_E_CLASSSTRING);
    QCOMPARE(factory.IsRegistered(clsid), PdfRenderingAvailable());
    pf::Guid unknown;
    QCOMPARE(factory.ClsidFromProgId(QStringLiteral("Nothing.Here"), unknown),
             pf::CO_E_CLASSSTRING);
    QVERIFY(unknown.IsNull());
    if (!PdfRenderingAvailable())
        return;

    // The fallback control loads in the background and shows the page when it is ready.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("doc.pdf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(OnePagePdf());
    file.close();
    QWidget host;
    pf::IPdfControlPtr control;
    QCOMPARE(factory.CreatePdfControl(&host, control), pf::S_OK);
    QCOMPARE(control->SetSource(path + QStringLiteral("#view=Fit&pagemode=none&toolbar=0")),
             pf::S_OK);
    QCOMPARE(control->SetLayoutMode(QStringLiteral("SinglePage")), pf::S_OK);
    control->SetVisible(true);
    auto* view = host.findChild<TPageView*>();
    QVERIFY(view);
    QTRY_COMPARE(view->Pages().size(), std::size_t(1));
    QCOMPARE(view->Layout(), TPageView::TLayout::SinglePage);
    control->Close();
    QTRY_VERIFY(!host.findChild<TPageView*>());
}

void PreviewHandlersTest::registryPublishesTheInstalledHandlers()
{
    QTemporaryDir home;
    test::TScopedEnvironment env;
    env.Set("HOME", home.path().toUtf8());
    env.Set("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    const std::unique_ptr<pf::IPlatform> platform = pf::lnx::CreateLinuxPlatform();
    QVERIFY(!platform->Previews());
    QVERIFY(
        pf::lnx::InstallPreviewHandlers(*platform, std::make_unique<TBuiltInPreviewHandlers>()));
    QVERIFY(platform->Previews());

    const QString key =
        QStringLiteral("\\shellex\\") + pf::previewids::IID_IPreviewHandler.ToString();
    const auto previewer = [&](const char* pExtension) {
        const pf::RegValue value = platform->Registry().GetValue(
            pf::RegistryRoot::ClassesRoot, QString::fromLatin1(pExtension) + key, QString());
        return std::holds_alternative<QString>(value) ? std::get<QString>(value) : QString();
    };
    QCOMPARE(previewer(".txt"), pf::previewids::CLSID_TextPreviewer.ToString());
    QCOMPARE(previewer(".json"), pf::previewids::CLSID_TextPreviewer.ToString());
    QCOMPARE(previewer(".html"), pf::previewids::CLSID_DocumentPreviewer.ToString());
    QCOMPARE(previewer(".svg"), pf::previewids::CLSID_DocumentPreviewer.ToString());
    QCOMPARE(previewer(".png"), pf::previewids::CLSID_ImagePreviewer.ToString());
    QCOMPARE(previewer(".pdf"), PdfRenderingAvailable()
                                    ? pf::previewids::CLSID_DocumentPreviewer.ToString()
                                    : QString());
    QCOMPARE(previewer(".zzqqxx"), QString());
}

} // namespace
} // namespace kiv::ui

QTEST_MAIN(kiv::ui::PreviewHandlersTest)
#include "PreviewHandlersTest.moc"
