// Test helper: waits for a top-level window with the given title on the X
// display and closes it the way a window manager does, with WM_DELETE_WINDOW,
// so the program runs its own close handling.
//
//   corvane_close_window <title> <wait ms> <settle ms> [icon file]
//
// With an icon file, the largest picture of the window's _NET_WM_ICON is
// written there first: width and height as two 32-bit words, then the pixels
// as 32-bit ARGB words, all in the machine's byte order.
//
// Exit status: 0 closed, 1 no such window within <wait ms>, 2 bad use or no
// display.

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return result;
}

std::string textProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, 1024), nullptr);
    std::string text;
    if (reply) {
        text.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                    xcb_get_property_value_length(reply));
        std::free(reply);
    }
    return text;
}

bool viewable(xcb_connection_t* c, xcb_window_t window) {
    xcb_get_window_attributes_reply_t* reply =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    const bool result = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return result;
}

xcb_window_t findWindow(xcb_connection_t* c, xcb_window_t root, const std::string& title, xcb_atom_t netName,
                        xcb_atom_t utf8) {
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
    if (!tree)
        return XCB_WINDOW_NONE;
    xcb_window_t found = XCB_WINDOW_NONE;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && found == XCB_WINDOW_NONE; ++i) {
        const xcb_window_t w = children[i];
        const bool named = textProperty(c, w, netName, utf8) == title ||
                           textProperty(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING) == title;
        if (named && viewable(c, w))
            found = w;
    }
    std::free(tree);
    return found;
}

// Writes the largest picture of the window's icon; false if it has none.
bool dumpIcon(xcb_connection_t* c, xcb_window_t window, xcb_atom_t netIcon, const char* path) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, netIcon, XCB_ATOM_CARDINAL, 0, 1 << 22), nullptr);
    if (!reply)
        return false;
    const auto* words = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    const std::size_t count = static_cast<std::size_t>(xcb_get_property_value_length(reply)) / 4;
    std::size_t best = count;
    std::uint64_t bestArea = 0;
    for (std::size_t at = 0; at + 2 <= count;) {
        const std::uint64_t area = std::uint64_t(words[at]) * words[at + 1];
        if (area == 0 || at + 2 + area > count)
            break;
        if (area > bestArea) {
            bestArea = area;
            best = at;
        }
        at += 2 + area;
    }
    bool written = false;
    if (best < count) {
        if (std::FILE* out = std::fopen(path, "wb")) {
            written = std::fwrite(words + best, 4, 2 + bestArea, out) == 2 + bestArea;
            written = std::fclose(out) == 0 && written;
        }
    }
    std::free(reply);
    return written;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: %s <title> <wait ms> <settle ms> [icon file]\n", argv[0]);
        return 2;
    }
    const std::string title = argv[1];
    const auto wait = std::chrono::milliseconds(std::atoi(argv[2]));
    const auto settle = std::chrono::milliseconds(std::atoi(argv[3]));

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "%s: cannot open the display\n", argv[0]);
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t protocols = atom(c, "WM_PROTOCOLS");
    const xcb_atom_t deleteWindow = atom(c, "WM_DELETE_WINDOW");
    const xcb_atom_t netName = atom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = atom(c, "UTF8_STRING");

    const auto deadline = std::chrono::steady_clock::now() + wait;
    xcb_window_t window = XCB_WINDOW_NONE;
    while ((window = findWindow(c, root, title, netName, utf8)) == XCB_WINDOW_NONE) {
        if (std::chrono::steady_clock::now() >= deadline) {
            std::fprintf(stderr, "%s: no window titled \"%s\"\n", argv[0], title.c_str());
            xcb_disconnect(c);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // Let the program finish starting up before it is asked to close, then
    // look again: a toolkit may replace its native window while it starts.
    std::this_thread::sleep_for(settle);
    if (const xcb_window_t again = findWindow(c, root, title, netName, utf8); again != XCB_WINDOW_NONE)
        window = again;
    if (argc == 5 && !dumpIcon(c, window, atom(c, "_NET_WM_ICON"), argv[4]))
        std::fprintf(stderr, "%s: the window has no icon\n", argv[0]);

    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = protocols;
    event.data.data32[0] = deleteWindow;
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(c);
    xcb_disconnect(c);
    return 0;
}
