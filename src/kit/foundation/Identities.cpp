#include "kit/foundation/Identities.h"

namespace zk {

std::string errorIdentity(const Error& error)
{
    return std::to_string(error.code()) + error.domain() + error.localizedDescription()
        + error.recoverySuggestion();
}

QString screenIdentity(const QScreen& screen)
{
    return screen.name();
}

} // namespace zk
