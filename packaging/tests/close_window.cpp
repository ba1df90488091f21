// SPDX-License-Identifier: GPL-3.0-or-later
// Test helper: corvane_close_window <title> <wait ms> <settle ms>
// Waits for a mapped top-level window with this title on the X display, prints
// the sizes of its icon and closes it the way a window manager does, with
// WM_DELETE_WINDOW, so that the program runs its own close handling.
// Exit status: 0 closed, 1 no such window within <wait ms>, 2 failed.

#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace {

template <typename Reply> std::unique_ptr<Reply, decltype(&std::free)> owned(Reply* reply) {
    return {reply, &std::free};
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    const auto reply =
        owned(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

auto property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
    return owned(xcb_get_property_reply(c, xcb_get_property(c, 0, window, name, type, 0, 1 << 22), nullptr));
}

xcb_window_t findWindow(xcb_connection_t* c, xcb_window_t root, const std::string& title) {
    const auto tree = owned(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    for (int i = 0; tree && i < xcb_query_tree_children_length(tree.get()); ++i) {
        const xcb_window_t w = xcb_query_tree_children(tree.get())[i];
        const auto name = property(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
        const auto attributes =
            owned(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr));
        if (name && attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
            std::string(static_cast<const char*>(xcb_get_property_value(name.get())),
                        xcb_get_property_value_length(name.get())) == title)
            return w;
    }
    return XCB_WINDOW_NONE;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <title> <wait ms> <settle ms>\n", argv[0]);
        return 2;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "%s: cannot open the display\n", argv[0]);
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::atoi(argv[2]));
    xcb_window_t window;
    while ((window = findWindow(c, root, argv[1])) == XCB_WINDOW_NONE) {
        if (std::chrono::steady_clock::now() >= deadline) {
            std::fprintf(stderr, "%s: no window titled \"%s\"\n", argv[0], argv[1]);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // Let the program finish starting up, then look again: a toolkit may
    // replace its native window while it starts.
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[3])));
    if (const xcb_window_t again = findWindow(c, root, argv[1]); again != XCB_WINDOW_NONE)
        window = again;

    // The sizes of the window's icon pictures, for the caller to check.
    if (const auto icon = property(c, window, atom(c, "_NET_WM_ICON"), XCB_ATOM_CARDINAL)) {
        const auto* words = static_cast<const std::uint32_t*>(xcb_get_property_value(icon.get()));
        const std::size_t count = xcb_get_property_value_length(icon.get()) / 4;
        for (std::size_t at = 0; at + 2 <= count && words[at] * words[at + 1] > 0;
             at += 2 + std::size_t(words[at]) * words[at + 1])
            std::printf("window icon: %ux%u\n", words[at], words[at + 1]);
    }
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(c, "WM_PROTOCOLS");
    event.data.data32[0] = atom(c, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    // Wait for the server's answer before hanging up: a message still queued
    // when the connection closes may never reach the window.
    const auto error =
        owned(xcb_request_check(c, xcb_send_event_checked(c, 0, window, XCB_EVENT_MASK_NO_EVENT,
                                                          reinterpret_cast<const char*>(&event))));
    xcb_disconnect(c);
    if (error) {
        std::fprintf(stderr, "%s: closing the window failed (X error %d)\n", argv[0], error->error_code);
        return 2;
    }
    return 0;
}
