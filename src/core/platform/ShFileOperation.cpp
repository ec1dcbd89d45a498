#include "ShFileOperation.h"

#include <tuple>

namespace kiv::pf {
namespace {

std::pair<QString, QString> SplitPath(const QString& pPath)
{
    const qsizetype slash = pPath.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return {QString(), pPath};
    return {slash == 0 ? QStringLiteral("/") : pPath.left(slash), pPath.mid(slash + 1)};
}

int CodeOf(HResult pResult)
{
    return Succeeded(pResult) ? 0 : static_cast<int>(HResultCode(pResult));
}

} // namespace

QStringList SplitDoubleNulList(const QString& pList)
{
    QStringList paths;
    qsizetype start = 0;
    while (start < pList.size()) {
        qsizetype end = pList.indexOf(QChar(u'\0'), start);
        if (end < 0)
            end = pList.size();
        if (end == start)
            break;
        paths << pList.mid(start, end - start);
        start = end + 1;
    }
    return paths;
}

int ShFileOperation(IFileOps& pOps, ShFileOpStruct& pOperation)
{
    pOperation.AnyOperationsAborted = false;
    const QStringList sources = SplitDoubleNulList(pOperation.From);
    const QStringList targets = SplitDoubleNulList(pOperation.To);
    const std::uint32_t func = pOperation.Func;
    const bool multiple = (pOperation.Flags & fo::FOF_MULTIDESTFILES) != 0;
    const bool needsTarget = func == fo::FO_COPY || func == fo::FO_MOVE || func == fo::FO_RENAME;
    if (sources.isEmpty() || (needsTarget && targets.isEmpty()) ||
        (needsTarget && multiple && targets.size() != sources.size()) ||
        (func == fo::FO_RENAME && sources.size() != 1) ||
        (func < fo::FO_MOVE || func > fo::FO_RENAME))
        return static_cast<int>(win32::ERROR_INVALID_PARAMETER);

    const IFileOperationPtr engine = pOps.CreateFileOperation();
    if (!engine)
        return static_cast<int>(win32::ERROR_NOT_SUPPORTED);
    engine->SetOwnerWindow(pOperation.Owner);
    engine->SetOperationFlags(pOperation.Flags & ~fo::FOF_MULTIDESTFILES);
    HResult queued = S_OK;
    for (qsizetype i = 0; i < sources.size() && Succeeded(queued); ++i) {
        const QString& source = sources[i];
        switch (func) {
        case fo::FO_COPY:
        case fo::FO_MOVE: {
            // One destination folder for all, or one full target path each.
            QString folder = targets.front();
            QString name;
            if (multiple)
                std::tie(folder, name) = SplitPath(targets[i]);
            queued = func == fo::FO_COPY ? engine->CopyItem(source, folder, name)
                                         : engine->MoveItem(source, folder, name);
            break;
        }
        case fo::FO_DELETE:
            queued = engine->DeleteItem(source);
            break;
        case fo::FO_RENAME: {
            const auto [folder, name] = SplitPath(targets.front());
            queued = folder.isEmpty() || folder == SplitPath(source).first
                         ? engine->RenameItem(source, name)
                         : engine->MoveItem(source, folder, name);
            break;
        }
        default:
            break;
        }
    }
    if (Failed(queued))
        return CodeOf(queued);
    const HResult result = engine->PerformOperations();
    engine->GetAnyOperationsAborted(pOperation.AnyOperationsAborted);
    return CodeOf(result);
}

} // namespace kiv::pf
