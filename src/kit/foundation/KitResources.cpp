#include "kit/foundation/KitResources.h"

namespace zk {

const QString& kitResourceRoot()
{
    // The kit is linked statically into the program, so its bundle is the program's resources.
    static const QString root = QStringLiteral(":/");
    return root;
}

} // namespace zk
