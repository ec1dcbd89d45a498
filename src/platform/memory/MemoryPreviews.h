#pragma once

#include "core/platform/IPreviewHandler.h"

#include <QStringList>

#include <map>
#include <mutex>
#include <vector>

namespace kiv::pf::mem {

// What a scripted handler answers at each step; E_NOINTERFACE for an Initialize call means the
// handler lacks that interface.
struct TPreviewScript
{
    HResult InitializeWithStream = S_OK;
    HResult InitializeWithItem = E_NOINTERFACE;
    HResult InitializeWithFile = E_NOINTERFACE;
    HResult SetWindow = S_OK;
    HResult DoPreview = S_OK;
    bool RequiresUiThread = true;
};

// A preview handler that draws nothing: it answers from its script and records each call by
// name ("InitializeWithStream", "SetWindow", ...) in order. Thread-safe.
class TMemoryPreviewHandler final
    : public IPreviewHandler
    , public IPreviewHandlerVisuals
{
public:
    explicit TMemoryPreviewHandler(TPreviewScript pScript)
        : fScript(pScript)
    {
    }

    HResult InitializeWithStream(const IStreamPtr& pStream, std::uint32_t pMode) override;
    HResult InitializeWithItem(const IShellItemPtr& pItem, std::uint32_t pMode) override;
    HResult InitializeWithFile(const QString& pPath, std::uint32_t pMode) override;
    HResult SetWindow(WindowRef pParent, const QRect& pRect) override;
    HResult SetRect(const QRect& pRect) override;
    HResult DoPreview() override;
    HResult Unload() override;
    IPreviewHandlerVisuals* Visuals() override { return this; }
    bool RequiresUiThread() const override { return fScript.RequiresUiThread; }
    HResult SetBackgroundColor(const QColor& pColor) override;
    HResult SetTextColor(const QColor& pColor) override;

    QStringList Calls() const;

private:
    HResult Record(const char* pName, HResult pResult);

    const TPreviewScript fScript;
    mutable std::mutex fLock;
    QStringList fCalls; // guarded by fLock
};

// The preview handler factory of the in-memory platform: classes registered by the test, each
// making scripted handlers; creation can be made to fail a number of times (a handler that is not
// ready at the first attempt). Records every handler made. Thread-safe; register before other
// threads call.
class TMemoryPreviews final : public IPreviewHandlerFactory
{
public:
    void Register(const PreviewHandlerClass& pClass, const TPreviewScript& pScript = {});
    void RegisterProgId(const QString& pProgId, const Guid& pClsid);
    // The next pCount calls of Create fail with pResult.
    void FailCreations(int pCount, HResult pResult = E_FAIL);
    // Every handler made so far, oldest first.
    std::vector<std::shared_ptr<TMemoryPreviewHandler>> Made() const;
    int CreateCalls() const;

    HResult Create(const Guid& pClsid, IPreviewHandlerPtr& pHandler) override;
    bool IsRegistered(const Guid& pClsid) const override;
    HResult ClsidFromProgId(const QString& pProgId, Guid& pClsid) const override;
    // No PDF control in memory.
    HResult CreatePdfControl(WindowRef pParent, IPdfControlPtr& pControl) override;
    std::vector<PreviewHandlerClass> Classes() const override;

private:
    mutable std::mutex fLock;
    std::vector<std::pair<PreviewHandlerClass, TPreviewScript>> fClasses; // guarded by fLock
    std::map<QString, Guid> fProgIds;                                     // guarded by fLock
    int fFailures = 0;                                                    // guarded by fLock
    HResult fFailure = E_FAIL;                                            // guarded by fLock
    int fCreateCalls = 0;                                                 // guarded by fLock
    std::vector<std::shared_ptr<TMemoryPreviewHandler>> fMade;            // guarded by fLock
};

} // namespace kiv::pf::mem
