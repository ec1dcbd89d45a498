#include "core/folder/PathMatchSpec.h"

namespace kiv {
namespace {

bool SameChar(QChar pA, QChar pB)
{
    return pA == pB || pA.toCaseFolded() == pB.toCaseFolded();
}

// One pattern against the whole name. Greedy with one back-track point (the last "*"): linear
// for the patterns people type, never exponential.
bool MatchOne(QStringView pName, QStringView pPattern)
{
    qsizetype name = 0;
    qsizetype pattern = 0;
    qsizetype starPattern = -1;
    qsizetype starName = 0;
    while (name < pName.size()) {
        if (pattern < pPattern.size() && pPattern[pattern] == u'*') {
            starPattern = pattern++;
            starName = name;
        } else if (pattern < pPattern.size() &&
                   (pPattern[pattern] == u'?' || SameChar(pPattern[pattern], pName[name]))) {
            ++pattern;
            ++name;
        } else if (starPattern >= 0) {
            pattern = starPattern + 1;
            name = ++starName;
        } else {
            return false;
        }
    }
    // The name is used up: stars match nothing, and so does an extension ".*" (a name without
    // an extension matches "*.*", as it always has in filter boxes).
    for (;;) {
        while (pattern < pPattern.size() && pPattern[pattern] == u'*')
            ++pattern;
        if (pPattern.mid(pattern).startsWith(u".*"))
            pattern += 2;
        else
            break;
    }
    // A pattern ending in "*." also takes names without a ".": "*." lists those names only
    // because their "extension" is empty.
    if (pattern + 1 == pPattern.size() && pPattern[pattern] == u'.' && pattern > 0 &&
        pPattern[pattern - 1] == u'*')
        return !pName.contains(u'.');
    return pattern == pPattern.size();
}

} // namespace

bool PathMatchSpec(QStringView pName, QStringView pSpec)
{
    qsizetype start = 0;
    while (start <= pSpec.size()) {
        qsizetype end = pSpec.indexOf(u';', start);
        if (end < 0)
            end = pSpec.size();
        QStringView one = pSpec.mid(start, end - start);
        while (!one.isEmpty() && one.front() == u' ')
            one = one.mid(1);
        if (!one.isEmpty() && MatchOne(pName, one))
            return true;
        if (end == pSpec.size())
            break;
        start = end + 1;
    }
    return false;
}

} // namespace kiv
