#pragma once

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <cstring>

namespace plimsy::test {

inline xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// Another X client's grab of Super+Shift+K on the root window; false when someone holds it already.
inline bool grabSuperShiftK(xcb_connection_t *other)
{
    constexpr xcb_keysym_t KeysymK = 0x6b;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(other);
    xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols, KeysymK);
    const xcb_keycode_t code = codes ? codes[0] : 0;
    std::free(codes);
    xcb_key_symbols_free(symbols);
    xcb_generic_error_t *error = xcb_request_check(
        other,
        xcb_grab_key_checked(
            other, 1, root, XCB_MOD_MASK_4 | XCB_MOD_MASK_SHIFT, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    std::free(error);
    return code != 0 && error == nullptr;
}

} // namespace plimsy::test
