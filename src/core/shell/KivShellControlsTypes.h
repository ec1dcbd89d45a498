#pragma once

// What the shell controls share beyond the namespace types: how far a refresh goes, and the
// process-wide hook through which the application gives paths icons of its own.

#include <QString>

#include <functional>

namespace kiv {

class IKivShellControl;

// What a refresh asks of each control.
enum class TRefreshLevel
{
    // Reload the folder's contents from the start.
    rfFull,
    // Reconcile what is shown with the folder: add, remove and update items in place.
    rfSmart,
    // Only ask the selection list again for the state of every check box.
    rfCheckboxes,
};

// The answer of the custom icon hook for one path.
struct TCustomizeIconEventArgs
{
    bool fCustomized = false;
    // The caller's own image list (opaque to the family); null: the shared icon table.
    const void* fImageList = nullptr;
    int fImageIndex = -1;
    // A caption to show in place of the item's name; empty: the name.
    QString fCaption;

    // An icon of the shared table.
    void SetImageIndex(int pIndex)
    {
        fImageIndex = pIndex;
        fCustomized = true;
    }
    // An icon of the caller's own list.
    void SetImageList(const void* pImageList, int pIndex)
    {
        fImageList = pImageList;
        fImageIndex = pIndex;
        fCustomized = true;
    }
};

using TGetCustomIconForPathEvent = std::function<void(
    const IKivShellControl* pSender, const QString& pPath, TCustomizeIconEventArgs& pArgs)>;

// One process-wide handler that may give any path a custom icon; the list and the tree ask
// before they draw an item. Thread-safe (the handler is called outside the internal lock, on
// the asking thread).
class TGlobalCustomIconHandler
{
public:
    TGlobalCustomIconHandler() = delete;

    // Sets the handler; an empty one removes it.
    static void SetOnGetCustomIconForPath(TGetCustomIconForPathEvent pEventHandler);
    // Resets the stored answer, asks the handler (false without one) and tells whether it
    // customised the path.
    static bool HasCustomization(const IKivShellControl* pSender, const QString& pPath);
    // A copy of the answer of the last HasCustomization.
    static TCustomizeIconEventArgs GetCustomization();
};

} // namespace kiv
