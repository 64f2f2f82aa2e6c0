#pragma once

#include <QString>

namespace zk {

// Marks the kit's code: its resources are those of the program it is linked into.
struct BundleMarker { };

// The root of the kit's resources (":/", the program's compiled-in resources), found once.
const QString& kitResourceRoot();

} // namespace zk
