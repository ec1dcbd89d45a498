#include "core/platform/IDialogs.h"

namespace kiv::pf {

QString NormalizeDialogText(const QString& pText)
{
    QString out;
    out.reserve(pText.size());
    for (qsizetype i = 0; i < pText.size(); ++i) {
        const QChar c = pText[i];
        if (c != u'\r' && c != u'\n') {
            out += c;
            continue;
        }
        out += u'\n';
        // A CR LF or LF CR pair is one break; two LFs (or two CRs) are two.
        const QChar other = c == u'\r' ? u'\n' : u'\r';
        if (i + 1 < pText.size() && pText[i + 1] == other)
            ++i;
    }
    return out;
}

} // namespace kiv::pf
