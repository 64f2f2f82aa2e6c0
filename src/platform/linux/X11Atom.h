#pragma once

#include <xcb/xcb.h>

#include <string_view>

namespace platform {

// The atom the X server knows by `name`; XCB_ATOM_NONE when the server does not answer or, with
// `onlyIfExists`, has never heard the name: then no window has a property or selection by it yet.
xcb_atom_t internAtom(xcb_connection_t* connection, std::string_view name, bool onlyIfExists = true);

} // namespace platform
