#pragma once

// File name patterns as the filter boxes take them: "*" any run of characters (also none), "?"
// exactly one character, everything else itself, letters compared without regard to case. A
// pattern text may hold several patterns separated by ";" (blanks after a ";" are ignored); a
// name matches when any of them matches it. An extension ".*" may also match nothing, so "*.*"
// matches every name, with or without a "."; a pattern ending in "*." takes names whose rest
// has no "." or ends with it. Pure functions, usable on any thread.

#include <QString>
#include <QStringView>

namespace kiv {

// Whether pName matches pSpec (one pattern or several separated by ";").
bool PathMatchSpec(QStringView pName, QStringView pSpec);

} // namespace kiv
