// The window list on X11, read from the window manager's EWMH properties over XCB (every reply
// carries its own error, so a window that goes away during the walk is simply unreadable).
#include <xcb/xcb.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "platform/x11/x11_services.h"

namespace marrowdale {

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

struct ConnectionCloser {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using ConnectionPtr = std::unique_ptr<xcb_connection_t, ConnectionCloser>;

enum AtomName : std::size_t {
    kClientListStacking,
    kClientList,
    kSupported,
    kCloseWindow,
    kWmState,
    kNetWmState,
    kStateHidden,
    kStateMaxVert,
    kStateMaxHorz,
    kStateFullscreen,
    kNetWmName,
    kUtf8String,
    kCompoundText,
    kWindowType,
    kTypeDesktop,
    kTypeDock,
    kTypeToolbar,
    kTypeMenu,
    kTypeSplash,
    kTypeDropdownMenu,
    kTypePopupMenu,
    kTypeTooltip,
    kTypeNotification,
    kTypeCombo,
    kTypeDnd,
    kMotifHints,
    kWmProtocols,
    kWmDeleteWindow,
    kAtomCount,
};

constexpr std::array<const char*, kAtomCount> kAtomNames = {
    "_NET_CLIENT_LIST_STACKING",
    "_NET_CLIENT_LIST",
    "_NET_SUPPORTED",
    "_NET_CLOSE_WINDOW",
    "WM_STATE",
    "_NET_WM_STATE",
    "_NET_WM_STATE_HIDDEN",
    "_NET_WM_STATE_MAXIMIZED_VERT",
    "_NET_WM_STATE_MAXIMIZED_HORZ",
    "_NET_WM_STATE_FULLSCREEN",
    "_NET_WM_NAME",
    "UTF8_STRING",
    "COMPOUND_TEXT",
    "_NET_WM_WINDOW_TYPE",
    "_NET_WM_WINDOW_TYPE_DESKTOP",
    "_NET_WM_WINDOW_TYPE_DOCK",
    "_NET_WM_WINDOW_TYPE_TOOLBAR",
    "_NET_WM_WINDOW_TYPE_MENU",
    "_NET_WM_WINDOW_TYPE_SPLASH",
    "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
    "_NET_WM_WINDOW_TYPE_POPUP_MENU",
    "_NET_WM_WINDOW_TYPE_TOOLTIP",
    "_NET_WM_WINDOW_TYPE_NOTIFICATION",
    "_NET_WM_WINDOW_TYPE_COMBO",
    "_NET_WM_WINDOW_TYPE_DND",
    "_MOTIF_WM_HINTS",
    "WM_PROTOCOLS",
    "WM_DELETE_WINDOW",
};

constexpr std::uint32_t kIconicState = 3;       // WM_STATE value of a minimised window
constexpr std::uint32_t kMotifDecorations = 2;  // flag: the decorations field is set
constexpr std::uint32_t kMotifDecorAll = 1;
constexpr std::uint32_t kMotifDecorTitle = 8;
// Longest title read, in bytes: 252 characters of at most four bytes each, and some room.
constexpr std::uint32_t kTitleReadLongs = 256;

// Latin-1 to UTF-8.
std::string fromLatin1(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return out;
}

// Keeps well-formed UTF-8 sequences and replaces every other byte by '?'.
std::string sanitiseUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
        }
        bool ok = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; ok && k < length; ++k) {
            ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (ok) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out.push_back('?');
            ++i;
        }
    }
    return out;
}

class X11WindowList final : public WindowList {
  public:
    X11WindowList(ConnectionPtr connection, xcb_window_t root)
        : connection_(std::move(connection)), root_(root) {
        internAtoms();
        closeSupported_ = rootSupports(atoms_[kCloseWindow]);
    }

    std::vector<WindowRecord> topLevelWindows() override {
        std::vector<xcb_window_t> windows = clientList();
        std::vector<Pending> pending(windows.size());
        // Send every request first, then collect: one round trip for the whole walk.
        for (std::size_t i = 0; i < windows.size(); ++i) {
            pending[i] = request(windows[i]);
        }
        std::vector<WindowRecord> records;
        records.reserve(windows.size());
        for (std::size_t i = 0; i < windows.size(); ++i) {
            records.push_back(collect(windows[i], pending[i]));
        }
        // The last active pop-up of a window: the topmost window it owns (the list runs from
        // the topmost window down).
        std::unordered_map<WindowId, WindowId> topmostOwned;
        for (const WindowRecord& record : records) {
            if (record.owner != 0) {
                topmostOwned.emplace(record.owner, record.id);
            }
        }
        for (WindowRecord& record : records) {
            const auto it = topmostOwned.find(record.id);
            if (it != topmostOwned.end()) {
                record.lastActivePopup = it->second;
            }
        }
        return records;
    }

    bool requestClose(WindowId id) override {
        const auto window = static_cast<xcb_window_t>(id);
        if (window == 0 || window != id) {
            return false;
        }
        xcb_client_message_event_t event;
        std::memset(&event, 0, sizeof(event));
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        xcb_void_cookie_t cookie;
        if (closeSupported_) {
            // Asked of the window manager, as a pager would on the user's behalf.
            event.type = atoms_[kCloseWindow];
            event.data.data32[0] = XCB_CURRENT_TIME;
            event.data.data32[1] = 2;
            cookie = xcb_send_event_checked(
                connection_.get(), 0, root_,
                XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                reinterpret_cast<const char*>(&event));
        } else if (hasDeleteProtocol(window)) {
            // No window manager to ask: the window's own close protocol.
            event.type = atoms_[kWmProtocols];
            event.data.data32[0] = atoms_[kWmDeleteWindow];
            event.data.data32[1] = XCB_CURRENT_TIME;
            cookie = xcb_send_event_checked(connection_.get(), 0, window, XCB_EVENT_MASK_NO_EVENT,
                                            reinterpret_cast<const char*>(&event));
        } else {
            return false;
        }
        Reply<xcb_generic_error_t> error(xcb_request_check(connection_.get(), cookie));
        return !error;
    }

  private:
    struct Pending {
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_geometry_cookie_t geometry;
        xcb_get_property_cookie_t transientFor;
        xcb_get_property_cookie_t wmState;
        xcb_get_property_cookie_t netWmState;
        xcb_get_property_cookie_t windowType;
        xcb_get_property_cookie_t motifHints;
        xcb_get_property_cookie_t netWmName;
        xcb_get_property_cookie_t wmName;
    };

    void internAtoms() {
        std::array<xcb_intern_atom_cookie_t, kAtomCount> cookies;
        for (std::size_t i = 0; i < kAtomCount; ++i) {
            cookies[i] = xcb_intern_atom(connection_.get(), 0,
                                         static_cast<std::uint16_t>(std::strlen(kAtomNames[i])),
                                         kAtomNames[i]);
        }
        for (std::size_t i = 0; i < kAtomCount; ++i) {
            Reply<xcb_intern_atom_reply_t> reply(
                xcb_intern_atom_reply(connection_.get(), cookies[i], nullptr));
            atoms_[i] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        }
    }

    xcb_get_property_cookie_t getProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                          std::uint32_t longs) {
        return xcb_get_property(connection_.get(), 0, window, property, type, 0, longs);
    }

    Reply<xcb_get_property_reply_t> propertyReply(xcb_get_property_cookie_t cookie) {
        return Reply<xcb_get_property_reply_t>(
            xcb_get_property_reply(connection_.get(), cookie, nullptr));
    }

    // The 32-bit values of a property reply (empty when missing or of another format).
    static std::vector<std::uint32_t> values32(const xcb_get_property_reply_t* reply) {
        if (reply == nullptr || reply->format != 32) {
            return {};
        }
        const auto* data = static_cast<const std::uint32_t*>(
            xcb_get_property_value(const_cast<xcb_get_property_reply_t*>(reply)));
        const int count = xcb_get_property_value_length(reply) / 4;
        return std::vector<std::uint32_t>(data, data + (count > 0 ? count : 0));
    }

    bool rootSupports(xcb_atom_t atom) {
        if (atom == XCB_ATOM_NONE) {
            return false;
        }
        auto reply = propertyReply(getProperty(root_, atoms_[kSupported], XCB_ATOM_ATOM, 4096));
        for (const std::uint32_t value : values32(reply.get())) {
            if (value == atom) {
                return true;
            }
        }
        return false;
    }

    bool hasDeleteProtocol(xcb_window_t window) {
        auto reply = propertyReply(getProperty(window, atoms_[kWmProtocols], XCB_ATOM_ATOM, 64));
        for (const std::uint32_t value : values32(reply.get())) {
            if (value == atoms_[kWmDeleteWindow]) {
                return true;
            }
        }
        return false;
    }

    // The managed top-level windows, topmost first.
    std::vector<xcb_window_t> clientList() {
        std::vector<xcb_window_t> windows;
        auto stacking =
            propertyReply(getProperty(root_, atoms_[kClientListStacking], XCB_ATOM_WINDOW, 65536));
        std::vector<std::uint32_t> ids = values32(stacking.get());
        if (!ids.empty()) {
            windows.assign(ids.rbegin(), ids.rend());  // the property runs bottom to top
            return windows;
        }
        auto plain = propertyReply(getProperty(root_, atoms_[kClientList], XCB_ATOM_WINDOW, 65536));
        ids = values32(plain.get());
        if (!ids.empty()) {
            windows.assign(ids.begin(), ids.end());
            return windows;
        }
        // No window manager: the root's children that are not override-redirect.
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(
            connection_.get(), xcb_query_tree(connection_.get(), root_), nullptr));
        if (!tree) {
            return windows;
        }
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        const int count = xcb_query_tree_children_length(tree.get());
        for (int i = count - 1; i >= 0; --i) {
            Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
                connection_.get(), xcb_get_window_attributes(connection_.get(), children[i]),
                nullptr));
            if (attributes && !attributes->override_redirect) {
                windows.push_back(children[i]);
            }
        }
        return windows;
    }

    Pending request(xcb_window_t w) {
        Pending p;
        p.attributes = xcb_get_window_attributes(connection_.get(), w);
        p.geometry = xcb_get_geometry(connection_.get(), w);
        // Any 32-bit type: some tools write it as CARDINAL.
        p.transientFor = getProperty(w, XCB_ATOM_WM_TRANSIENT_FOR, XCB_GET_PROPERTY_TYPE_ANY, 1);
        p.wmState = getProperty(w, atoms_[kWmState], atoms_[kWmState], 2);
        p.netWmState = getProperty(w, atoms_[kNetWmState], XCB_ATOM_ATOM, 64);
        p.windowType = getProperty(w, atoms_[kWindowType], XCB_ATOM_ATOM, 64);
        p.motifHints = getProperty(w, atoms_[kMotifHints], atoms_[kMotifHints], 5);
        p.netWmName = getProperty(w, atoms_[kNetWmName], atoms_[kUtf8String], kTitleReadLongs);
        p.wmName = getProperty(w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, kTitleReadLongs);
        return p;
    }

    WindowRecord collect(xcb_window_t w, const Pending& p) {
        WindowRecord record;
        record.id = w;

        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(connection_.get(), p.attributes, nullptr));
        Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(connection_.get(), p.geometry, nullptr));
        auto transientFor = propertyReply(p.transientFor);
        auto wmState = propertyReply(p.wmState);
        auto netWmState = propertyReply(p.netWmState);
        auto windowType = propertyReply(p.windowType);
        auto motifHints = propertyReply(p.motifHints);
        auto netWmName = propertyReply(p.netWmName);
        auto wmName = propertyReply(p.wmName);

        if (!attributes || !geometry) {
            return record;  // gone: not visible, placement unreadable
        }
        record.placementReadable = true;
        record.clientHeight = geometry->height;

        const std::vector<std::uint32_t> owner = values32(transientFor.get());
        if (!owner.empty()) {
            // Transient for the root or for nothing still means "a dialog of someone".
            record.owner = owner[0] != 0 ? owner[0] : root_;
        }

        bool hidden = false, maxVert = false, maxHorz = false, fullscreen = false;
        for (const std::uint32_t state : values32(netWmState.get())) {
            hidden |= state == atoms_[kStateHidden];
            maxVert |= state == atoms_[kStateMaxVert];
            maxHorz |= state == atoms_[kStateMaxHorz];
            fullscreen |= state == atoms_[kStateFullscreen];
        }
        const std::vector<std::uint32_t> icccmState = values32(wmState.get());
        const bool iconic = !icccmState.empty() && icccmState[0] == kIconicState;
        record.minimised = hidden || iconic;
        record.visible = attributes->map_state == XCB_MAP_STATE_VIEWABLE || record.minimised;
        if (record.minimised) {
            record.showState = ShowState::Minimised;
        } else if ((maxVert && maxHorz) || fullscreen) {
            record.showState = ShowState::Maximised;
        } else {
            record.showState = ShowState::Normal;
        }

        for (const std::uint32_t type : values32(windowType.get())) {
            for (const std::size_t bare :
                 {kTypeDesktop, kTypeDock, kTypeToolbar, kTypeMenu, kTypeSplash, kTypeDropdownMenu,
                  kTypePopupMenu, kTypeTooltip, kTypeNotification, kTypeCombo, kTypeDnd}) {
                if (type == atoms_[bare]) {
                    record.titleBarInvisible = true;
                }
            }
        }
        const std::vector<std::uint32_t> motif = values32(motifHints.get());
        if (motif.size() >= 3 && (motif[0] & kMotifDecorations) != 0) {
            const std::uint32_t decorations = motif[2];
            const bool titleShown = (decorations & kMotifDecorAll) != 0
                                        ? (decorations & kMotifDecorTitle) == 0
                                        : (decorations & kMotifDecorTitle) != 0;
            if (!titleShown) {
                record.titleBarInvisible = true;
            }
        }

        record.title = titleOf(netWmName.get(), wmName.get());
        return record;
    }

    std::string titleOf(const xcb_get_property_reply_t* netWmName,
                        const xcb_get_property_reply_t* wmName) {
        auto text = [](const xcb_get_property_reply_t* reply) {
            const auto* data = static_cast<const char*>(
                xcb_get_property_value(const_cast<xcb_get_property_reply_t*>(reply)));
            const int length = xcb_get_property_value_length(reply);
            return std::string_view(data, length > 0 ? static_cast<std::size_t>(length) : 0);
        };
        if (netWmName != nullptr && netWmName->format == 8 &&
            netWmName->type == atoms_[kUtf8String] &&
            xcb_get_property_value_length(netWmName) > 0) {
            return sanitiseUtf8(text(netWmName));
        }
        if (wmName == nullptr || wmName->format != 8) {
            return {};
        }
        if (wmName->type == XCB_ATOM_STRING) {
            return fromLatin1(text(wmName));
        }
        // UTF8_STRING, COMPOUND_TEXT (ASCII passes through unchanged) or anything else.
        return sanitiseUtf8(text(wmName));
    }

    ConnectionPtr connection_;
    xcb_window_t root_;
    std::array<xcb_atom_t, kAtomCount> atoms_{};
    bool closeSupported_ = false;
};

}  // namespace

std::unique_ptr<WindowList> openX11WindowList(std::string* error) {
    int screenNumber = 0;
    ConnectionPtr connection(xcb_connect(nullptr, &screenNumber));
    if (!connection || xcb_connection_has_error(connection.get()) != 0) {
        if (error)
            *error = "cannot open the X display";
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int i = 0; i < screenNumber && it.rem > 0; ++i) {
        xcb_screen_next(&it);
    }
    if (it.rem == 0 || it.data == nullptr) {
        if (error)
            *error = "the X display has no such screen";
        return nullptr;
    }
    const xcb_window_t root = it.data->root;
    return std::make_unique<X11WindowList>(std::move(connection), root);
}

}  // namespace marrowdale
