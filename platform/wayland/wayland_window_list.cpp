// The desktop's windows through the wlroots foreign-toplevel protocol (sway, Hyprland, labwc,
// Wayfire, ...), on a Wayland connection of its own.
#include <wayland-client.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/wayland/toplevel_records.h"
#include "platform/wayland/wayland_services.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace marrowdale {

namespace {

constexpr std::uint32_t kProtocolVersion = 3;

struct Toplevel {
    zwlr_foreign_toplevel_handle_v1* handle = nullptr;
    ToplevelInfo info;
    bool closed = false;
};

class WaylandWindowList final : public WindowList {
  public:
    ~WaylandWindowList() override {
        for (const auto& t : toplevels_)
            zwlr_foreign_toplevel_handle_v1_destroy(t->handle);
        if (manager_ != nullptr)
            zwlr_foreign_toplevel_manager_v1_destroy(manager_);
        if (registry_ != nullptr)
            wl_registry_destroy(registry_);
        if (display_ != nullptr)
            wl_display_disconnect(display_);
    }

    bool connect(std::string* error) {
        display_ = wl_display_connect(nullptr);
        if (display_ == nullptr)
            return fail(error, "cannot connect to the Wayland display");
        registry_ = wl_display_get_registry(display_);
        static const wl_registry_listener registryListener = {onGlobal, onGlobalRemove};
        wl_registry_add_listener(registry_, &registryListener, this);
        if (wl_display_roundtrip(display_) < 0)
            return fail(error, "the Wayland display does not answer");
        if (manager_ == nullptr)
            return fail(error, "this desktop does not offer its list of windows");
        // The manager announces every window, then each window its title and states.
        if (wl_display_roundtrip(display_) < 0 || wl_display_roundtrip(display_) < 0)
            return fail(error, "the Wayland display does not answer");
        return true;
    }

    std::vector<WindowRecord> topLevelWindows() override {
        if (wl_display_roundtrip(display_) < 0)
            return {};
        std::vector<WindowRecord> records;
        for (const auto& t : toplevels_) {
            if (!t->closed)
                records.push_back(recordFromToplevel(t->info));
        }
        return records;
    }

    bool requestClose(WindowId window) override {
        for (const auto& t : toplevels_) {
            if (t->info.id == window && !t->closed) {
                zwlr_foreign_toplevel_handle_v1_close(t->handle);
                return wl_display_flush(display_) >= 0;
            }
        }
        return false;
    }

  private:
    static bool fail(std::string* error, const char* text) {
        if (error != nullptr)
            *error = text;
        return false;
    }

    static void onGlobal(void* self, wl_registry* registry, std::uint32_t name,
                         const char* interface, std::uint32_t version) {
        auto* list = static_cast<WaylandWindowList*>(self);
        if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) != 0 ||
            list->manager_ != nullptr)
            return;
        list->manager_ = static_cast<zwlr_foreign_toplevel_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface,
                             std::min(version, kProtocolVersion)));
        static const zwlr_foreign_toplevel_manager_v1_listener managerListener = {onToplevel,
                                                                                  onFinished};
        zwlr_foreign_toplevel_manager_v1_add_listener(list->manager_, &managerListener, list);
    }
    static void onGlobalRemove(void*, wl_registry*, std::uint32_t) {}

    static void onToplevel(void* self, zwlr_foreign_toplevel_manager_v1*,
                           zwlr_foreign_toplevel_handle_v1* handle) {
        auto* list = static_cast<WaylandWindowList*>(self);
        auto t = std::make_unique<Toplevel>();
        t->handle = handle;
        t->info.id = ++list->lastId_;
        static const zwlr_foreign_toplevel_handle_v1_listener handleListener = {
            onTitle, onAppId, onOutputEnter, onOutputLeave, onState, onDone, onClosed, onParent};
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &handleListener, t.get());
        list->toplevels_.push_back(std::move(t));
    }
    static void onFinished(void*, zwlr_foreign_toplevel_manager_v1*) {}

    static void onTitle(void* t, zwlr_foreign_toplevel_handle_v1*, const char* title) {
        static_cast<Toplevel*>(t)->info.title = title != nullptr ? title : "";
    }
    static void onAppId(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
    static void onOutputEnter(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void onOutputLeave(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}
    static void onState(void* t, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
        auto& list = static_cast<Toplevel*>(t)->info.states;
        list.clear();
        const auto* values = static_cast<const std::uint32_t*>(states->data);
        for (std::size_t i = 0; i < states->size / sizeof(std::uint32_t); ++i)
            list.push_back(values[i]);
    }
    static void onDone(void*, zwlr_foreign_toplevel_handle_v1*) {}
    static void onClosed(void* t, zwlr_foreign_toplevel_handle_v1*) {
        static_cast<Toplevel*>(t)->closed = true;
    }
    static void onParent(void* t, zwlr_foreign_toplevel_handle_v1*,
                         zwlr_foreign_toplevel_handle_v1* parent) {
        auto* self = static_cast<Toplevel*>(t);
        self->info.parent = 0;
        if (parent == nullptr)
            return;
        const auto* owner =
            static_cast<const Toplevel*>(zwlr_foreign_toplevel_handle_v1_get_user_data(parent));
        if (owner != nullptr)
            self->info.parent = owner->info.id;
    }

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    zwlr_foreign_toplevel_manager_v1* manager_ = nullptr;
    std::vector<std::unique_ptr<Toplevel>> toplevels_;
    WindowId lastId_ = 0;
};

}  // namespace

std::unique_ptr<WindowList> openWaylandWindowList(std::string* error) {
    auto list = std::make_unique<WaylandWindowList>();
    if (!list->connect(error))
        return nullptr;
    return list;
}

}  // namespace marrowdale
