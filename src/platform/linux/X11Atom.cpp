#include "platform/linux/X11Atom.h"

#include <cstdlib>
#include <memory>

namespace platform {

xcb_atom_t internAtom(xcb_connection_t* connection, std::string_view name, bool onlyIfExists)
{
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection,
            xcb_intern_atom(
                connection, onlyIfExists ? 1 : 0, static_cast<std::uint16_t>(name.size()), name.data()),
            nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t { XCB_ATOM_NONE };
}

} // namespace platform
