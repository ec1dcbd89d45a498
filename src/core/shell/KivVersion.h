#pragma once

#include <QString>

namespace kiv {

// The family's version text, shown after the class name in every component's Version().
QString FamilyVersion();

// "<class name> <family version>", the read-only Version of a component of the family.
QString ComponentVersion(QStringView pClassName);

} // namespace kiv
