#include "platform/dbus/status_notifier.h"

#include <unistd.h>

#include <cstring>

namespace hp::platform::dbus {

namespace {

constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kMenuInterface = "com.canonical.dbusmenu";
constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";

int append_pixmaps(sd_bus_message* m, const std::vector<Pixmap>& pixmaps) {
    int r = sd_bus_message_open_container(m, 'a', "(iiay)");
    if (r < 0) return r;
    for (const auto& p : pixmaps) {
        if ((r = sd_bus_message_open_container(m, 'r', "iiay")) < 0) return r;
        if ((r = sd_bus_message_append(m, "ii", p.width, p.height)) < 0) return r;
        if ((r = sd_bus_message_append_array(m, 'y', p.argb.data(), p.argb.size())) < 0) return r;
        if ((r = sd_bus_message_close_container(m)) < 0) return r;
    }
    return sd_bus_message_close_container(m);
}

int append_properties(sd_bus_message* m, const MenuNode& node, const std::vector<std::string>& names) {
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    if (r < 0) return r;
    for (const auto& p : menu_properties(node, names)) {
        if ((r = sd_bus_message_open_container(m, 'e', "sv")) < 0) return r;
        if ((r = sd_bus_message_append(m, "s", p.name.c_str())) < 0) return r;
        switch (p.kind) {
            case MenuProperty::Kind::String: r = sd_bus_message_append(m, "v", "s", p.text.c_str()); break;
            case MenuProperty::Kind::Bool: r = sd_bus_message_append(m, "v", "b", p.flag ? 1 : 0); break;
            case MenuProperty::Kind::Int32: r = sd_bus_message_append(m, "v", "i", p.number); break;
        }
        if (r < 0) return r;
        if ((r = sd_bus_message_close_container(m)) < 0) return r;
    }
    return sd_bus_message_close_container(m);
}

// (ia{sv}av), the children each in a variant.
int append_layout(sd_bus_message* m, const MenuNode& node, const std::vector<std::string>& names) {
    int r = sd_bus_message_open_container(m, 'r', "ia{sv}av");
    if (r < 0) return r;
    if ((r = sd_bus_message_append(m, "i", node.id)) < 0) return r;
    if ((r = append_properties(m, node, names)) < 0) return r;
    if ((r = sd_bus_message_open_container(m, 'a', "v")) < 0) return r;
    for (const auto& child : node.children) {
        if ((r = sd_bus_message_open_container(m, 'v', "(ia{sv}av)")) < 0) return r;
        if ((r = append_layout(m, child, names)) < 0) return r;
        if ((r = sd_bus_message_close_container(m)) < 0) return r;
    }
    if ((r = sd_bus_message_close_container(m)) < 0) return r;
    return sd_bus_message_close_container(m);
}

int read_strings(sd_bus_message* m, std::vector<std::string>& out) {
    int r = sd_bus_message_enter_container(m, 'a', "s");
    if (r < 0) return r;
    const char* s = nullptr;
    while ((r = sd_bus_message_read(m, "s", &s)) > 0) out.emplace_back(s);
    if (r < 0) return r;
    return sd_bus_message_exit_container(m);
}

int read_ints(sd_bus_message* m, std::vector<std::int32_t>& out) {
    const void* data = nullptr;
    std::size_t size = 0;
    const int r = sd_bus_message_read_array(m, 'i', &data, &size);
    if (r < 0) return r;
    const auto* ints = static_cast<const std::int32_t*>(data);
    out.assign(ints, ints + size / sizeof(std::int32_t));
    return 0;
}

}  // namespace

struct StatusNotifierItem::Glue {
    static StatusNotifierItem& self(void* userdata) { return *static_cast<StatusNotifierItem*>(userdata); }

    // --- org.kde.StatusNotifierItem properties --------------------------
    static int string_property(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                               void* userdata, sd_bus_error*) {
        auto& item = self(userdata);
        std::string value;
        if (std::strcmp(property, "Category") == 0) value = "ApplicationStatus";
        else if (std::strcmp(property, "Id") == 0) value = item.id_;
        else if (std::strcmp(property, "Title") == 0) value = item.title_;
        else if (std::strcmp(property, "Status") == 0) value = "Active";
        else if (std::strcmp(property, "IconName") == 0) value = item.look_.iconName;
        return sd_bus_message_append(reply, "s", value.c_str());
    }
    static int empty_string(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                            sd_bus_error*) {
        return sd_bus_message_append(reply, "s", "");
    }
    static int icon_pixmap(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* userdata,
                           sd_bus_error*) {
        return append_pixmaps(reply, self(userdata).look_.pixmaps);
    }
    static int no_pixmap(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                         sd_bus_error*) {
        return append_pixmaps(reply, {});
    }
    static int tooltip(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* userdata,
                       sd_bus_error*) {
        const auto& look = self(userdata).look_;
        int r = sd_bus_message_open_container(reply, 'r', "sa(iiay)ss");
        if (r < 0) return r;
        if ((r = sd_bus_message_append(reply, "s", look.iconName.c_str())) < 0) return r;
        if ((r = append_pixmaps(reply, look.pixmaps)) < 0) return r;
        if ((r = sd_bus_message_append(reply, "ss", look.tooltipTitle.c_str(), look.tooltipText.c_str())) < 0)
            return r;
        return sd_bus_message_close_container(reply);
    }
    static int item_is_menu(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                            sd_bus_error*) {
        return sd_bus_message_append(reply, "b", 1);
    }
    static int window_id(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                         sd_bus_error*) {
        return sd_bus_message_append(reply, "i", 0);
    }
    static int menu_path(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                         sd_bus_error*) {
        return sd_bus_message_append(reply, "o", kMenuPath);
    }

    // --- org.kde.StatusNotifierItem methods -------------------------------
    static int activate(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto& item = self(userdata);
        if (item.callbacks_.activate) item.callbacks_.activate();
        return sd_bus_reply_method_return(m, "");
    }
    static int ignored(sd_bus_message* m, void*, sd_bus_error*) { return sd_bus_reply_method_return(m, ""); }

    // --- com.canonical.dbusmenu -------------------------------------------
    static int get_layout(sd_bus_message* m, void* userdata, sd_bus_error* error) {
        auto& item = self(userdata);
        std::int32_t parent = 0, depth = -1;
        int r = sd_bus_message_read(m, "ii", &parent, &depth);
        if (r < 0) return r;
        std::vector<std::string> names;
        if ((r = read_strings(m, names)) < 0) return r;
        const auto layout = layout_subtree(item.menu_, parent, depth);
        if (!layout)
            return sd_bus_error_setf(error, "com.canonical.dbusmenu.Error.InvalidId", "No menu item %d", parent);
        sd_bus_message* raw = nullptr;
        if ((r = sd_bus_message_new_method_return(m, &raw)) < 0) return r;
        MessagePtr reply(raw);
        if ((r = sd_bus_message_append(reply.get(), "u", item.revision_)) < 0) return r;
        if ((r = append_layout(reply.get(), *layout, names)) < 0) return r;
        return sd_bus_send(nullptr, reply.get(), nullptr);
    }
    static int get_group_properties(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto& item = self(userdata);
        std::vector<std::int32_t> ids;
        std::vector<std::string> names;
        int r = read_ints(m, ids);
        if (r < 0) return r;
        if ((r = read_strings(m, names)) < 0) return r;
        sd_bus_message* raw = nullptr;
        if ((r = sd_bus_message_new_method_return(m, &raw)) < 0) return r;
        MessagePtr reply(raw);
        if ((r = sd_bus_message_open_container(reply.get(), 'a', "(ia{sv})")) < 0) return r;
        for (const auto id : ids) {
            const MenuNode* node = find_node(item.menu_, id);
            if (!node) continue;
            if ((r = sd_bus_message_open_container(reply.get(), 'r', "ia{sv}")) < 0) return r;
            if ((r = sd_bus_message_append(reply.get(), "i", id)) < 0) return r;
            if ((r = append_properties(reply.get(), *node, names)) < 0) return r;
            if ((r = sd_bus_message_close_container(reply.get())) < 0) return r;
        }
        if ((r = sd_bus_message_close_container(reply.get())) < 0) return r;
        return sd_bus_send(nullptr, reply.get(), nullptr);
    }
    static int get_property(sd_bus_message* m, void* userdata, sd_bus_error* error) {
        auto& item = self(userdata);
        std::int32_t id = 0;
        const char* name = nullptr;
        int r = sd_bus_message_read(m, "is", &id, &name);
        if (r < 0) return r;
        const MenuNode* node = find_node(item.menu_, id);
        const auto props = node ? menu_properties(*node, {name}) : std::vector<MenuProperty>{};
        if (props.empty())
            return sd_bus_error_setf(error, "com.canonical.dbusmenu.Error.InvalidProperty", "%s", name);
        const auto& p = props.front();
        switch (p.kind) {
            case MenuProperty::Kind::String: return sd_bus_reply_method_return(m, "v", "s", p.text.c_str());
            case MenuProperty::Kind::Bool: return sd_bus_reply_method_return(m, "v", "b", p.flag ? 1 : 0);
            case MenuProperty::Kind::Int32: return sd_bus_reply_method_return(m, "v", "i", p.number);
        }
        return -EINVAL;
    }
    // The chosen item's command runs after the reply has gone out.
    static void clicked(StatusNotifierItem& item, std::int32_t id, const char* eventId) {
        if (std::strcmp(eventId, "clicked") == 0 && find_node(item.menu_, id) && item.callbacks_.clicked)
            item.callbacks_.clicked(id);
    }
    static int event(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto& item = self(userdata);
        std::int32_t id = 0;
        const char* eventId = nullptr;
        const int r = sd_bus_message_read(m, "is", &id, &eventId);
        if (r < 0) return r;
        const std::string kind = eventId;
        const int sent = sd_bus_reply_method_return(m, "");
        clicked(item, id, kind.c_str());
        return sent;
    }
    static int event_group(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto& item = self(userdata);
        std::vector<std::pair<std::int32_t, std::string>> events;
        int r = sd_bus_message_enter_container(m, 'a', "(isvu)");
        if (r < 0) return r;
        while ((r = sd_bus_message_enter_container(m, 'r', "isvu")) > 0) {
            std::int32_t id = 0;
            const char* eventId = nullptr;
            if ((r = sd_bus_message_read(m, "is", &id, &eventId)) < 0) return r;
            events.emplace_back(id, eventId);
            if ((r = sd_bus_message_skip(m, "vu")) < 0) return r;
            if ((r = sd_bus_message_exit_container(m)) < 0) return r;
        }
        if (r < 0) return r;
        std::vector<std::int32_t> unknown;
        for (const auto& [id, kind] : events)
            if (!find_node(item.menu_, id)) unknown.push_back(id);
        sd_bus_message* raw = nullptr;
        if ((r = sd_bus_message_new_method_return(m, &raw)) < 0) return r;
        MessagePtr reply(raw);
        if ((r = sd_bus_message_append_array(reply.get(), 'i', unknown.data(),
                                             unknown.size() * sizeof(std::int32_t))) < 0)
            return r;
        r = sd_bus_send(nullptr, reply.get(), nullptr);
        for (const auto& [id, kind] : events) clicked(item, id, kind.c_str());
        return r;
    }
    static bool about_to_show_one(StatusNotifierItem& item) {
        const std::uint32_t before = item.revision_;
        if (item.callbacks_.aboutToShow) item.callbacks_.aboutToShow();
        return item.revision_ != before;
    }
    static int about_to_show(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto& item = self(userdata);
        std::int32_t id = 0;
        const int r = sd_bus_message_read(m, "i", &id);
        if (r < 0) return r;
        const bool update = id == 0 ? about_to_show_one(item) : false;
        return sd_bus_reply_method_return(m, "b", update ? 1 : 0);
    }
    static int about_to_show_group(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto& item = self(userdata);
        std::vector<std::int32_t> ids;
        int r = read_ints(m, ids);
        if (r < 0) return r;
        std::vector<std::int32_t> updates, unknown;
        for (const auto id : ids) {
            if (!find_node(item.menu_, id)) unknown.push_back(id);
            else if (id == 0 && about_to_show_one(item)) updates.push_back(id);
        }
        sd_bus_message* raw = nullptr;
        if ((r = sd_bus_message_new_method_return(m, &raw)) < 0) return r;
        MessagePtr reply(raw);
        if ((r = sd_bus_message_append_array(reply.get(), 'i', updates.data(), updates.size() * 4)) < 0) return r;
        if ((r = sd_bus_message_append_array(reply.get(), 'i', unknown.data(), unknown.size() * 4)) < 0) return r;
        return sd_bus_send(nullptr, reply.get(), nullptr);
    }
    static int menu_version(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                            sd_bus_error*) {
        return sd_bus_message_append(reply, "u", 3u);
    }
    static int menu_text_direction(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                                   sd_bus_error*) {
        return sd_bus_message_append(reply, "s", "ltr");
    }
    static int menu_status(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                           sd_bus_error*) {
        return sd_bus_message_append(reply, "s", "normal");
    }
    static int no_theme_paths(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                              sd_bus_error*) {
        return sd_bus_message_append(reply, "as", 0);
    }

    // --- the watcher --------------------------------------------------------
    static int registered(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto& item = self(userdata);
        item.registerSlot_.reset();
        item.registered_ = !sd_bus_message_is_method_error(m, nullptr);
        if (item.callbacks_.watcher) item.callbacks_.watcher(item.registered_);
        return 0;
    }
    static int owner_changed(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto& item = self(userdata);
        const char *name = nullptr, *before = nullptr, *after = nullptr;
        if (sd_bus_message_read(m, "sss", &name, &before, &after) < 0) return 0;
        if (std::strcmp(name, kWatcherName) != 0) return 0;
        if (after && *after) {
            item.register_with_watcher();
        } else if (item.registered_) {
            item.registered_ = false;
            if (item.callbacks_.watcher) item.callbacks_.watcher(false);
        }
        return 0;
    }
};

namespace {

using G = StatusNotifierItem::Glue;

const sd_bus_vtable kItemVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Category", "s", G::string_property, 0, 0),
    SD_BUS_PROPERTY("Id", "s", G::string_property, 0, 0),
    SD_BUS_PROPERTY("Title", "s", G::string_property, 0, 0),
    SD_BUS_PROPERTY("Status", "s", G::string_property, 0, 0),
    SD_BUS_PROPERTY("WindowId", "i", G::window_id, 0, 0),
    SD_BUS_PROPERTY("IconThemePath", "s", G::empty_string, 0, 0),
    SD_BUS_PROPERTY("IconName", "s", G::string_property, 0, 0),
    SD_BUS_PROPERTY("IconPixmap", "a(iiay)", G::icon_pixmap, 0, 0),
    SD_BUS_PROPERTY("OverlayIconName", "s", G::empty_string, 0, 0),
    SD_BUS_PROPERTY("OverlayIconPixmap", "a(iiay)", G::no_pixmap, 0, 0),
    SD_BUS_PROPERTY("AttentionIconName", "s", G::empty_string, 0, 0),
    SD_BUS_PROPERTY("AttentionIconPixmap", "a(iiay)", G::no_pixmap, 0, 0),
    SD_BUS_PROPERTY("AttentionMovieName", "s", G::empty_string, 0, 0),
    SD_BUS_PROPERTY("ToolTip", "(sa(iiay)ss)", G::tooltip, 0, 0),
    SD_BUS_PROPERTY("ItemIsMenu", "b", G::item_is_menu, 0, 0),
    SD_BUS_PROPERTY("Menu", "o", G::menu_path, 0, 0),
    SD_BUS_METHOD("ContextMenu", "ii", "", G::ignored, 0),
    SD_BUS_METHOD("Activate", "ii", "", G::activate, 0),
    SD_BUS_METHOD("SecondaryActivate", "ii", "", G::ignored, 0),
    SD_BUS_METHOD("Scroll", "is", "", G::ignored, 0),
    SD_BUS_SIGNAL("NewTitle", "", 0),
    SD_BUS_SIGNAL("NewIcon", "", 0),
    SD_BUS_SIGNAL("NewAttentionIcon", "", 0),
    SD_BUS_SIGNAL("NewOverlayIcon", "", 0),
    SD_BUS_SIGNAL("NewToolTip", "", 0),
    SD_BUS_SIGNAL("NewStatus", "s", 0),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable kMenuVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Version", "u", G::menu_version, 0, 0),
    SD_BUS_PROPERTY("TextDirection", "s", G::menu_text_direction, 0, 0),
    SD_BUS_PROPERTY("Status", "s", G::menu_status, 0, 0),
    SD_BUS_PROPERTY("IconThemePath", "as", G::no_theme_paths, 0, 0),
    SD_BUS_METHOD("GetLayout", "iias", "u(ia{sv}av)", G::get_layout, 0),
    SD_BUS_METHOD("GetGroupProperties", "aias", "a(ia{sv})", G::get_group_properties, 0),
    SD_BUS_METHOD("GetProperty", "is", "v", G::get_property, 0),
    SD_BUS_METHOD("Event", "isvu", "", G::event, 0),
    SD_BUS_METHOD("EventGroup", "a(isvu)", "ai", G::event_group, 0),
    SD_BUS_METHOD("AboutToShow", "i", "b", G::about_to_show, 0),
    SD_BUS_METHOD("AboutToShowGroup", "ai", "aiai", G::about_to_show_group, 0),
    SD_BUS_SIGNAL("ItemsPropertiesUpdated", "a(ia{sv})a(ias)", 0),
    SD_BUS_SIGNAL("LayoutUpdated", "ui", 0),
    SD_BUS_SIGNAL("ItemActivationRequested", "iu", 0),
    SD_BUS_VTABLE_END,
};

}  // namespace

StatusNotifierItem::StatusNotifierItem(Bus& bus, std::string id, std::string title, ItemCallbacks callbacks)
    : bus_(bus), id_(std::move(id)), title_(std::move(title)), callbacks_(std::move(callbacks)) {
    serviceName_ = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-1";
}

StatusNotifierItem::~StatusNotifierItem() {
    registerSlot_.reset();
    ownerSlot_.reset();
    menuSlot_.reset();
    itemSlot_.reset();
    (void)sd_bus_release_name(bus_.get(), serviceName_.c_str());
}

Result<std::unique_ptr<StatusNotifierItem>> StatusNotifierItem::create(Bus& bus, std::string id, std::string title,
                                                                       ItemCallbacks callbacks) {
    auto item = std::make_unique<StatusNotifierItem>(bus, std::move(id), std::move(title), std::move(callbacks));
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_object_vtable(bus.get(), &slot, kItemPath, kItemInterface, kItemVtable, item.get());
    if (r < 0) return fail(error_text("Could not export the tray item", r));
    item->itemSlot_.reset(slot);
    r = sd_bus_add_object_vtable(bus.get(), &slot, kMenuPath, kMenuInterface, kMenuVtable, item.get());
    if (r < 0) return fail(error_text("Could not export the tray menu", r));
    item->menuSlot_.reset(slot);
    r = sd_bus_match_signal(bus.get(), &slot, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                            "org.freedesktop.DBus", "NameOwnerChanged", G::owner_changed, item.get());
    if (r < 0) return fail(error_text("Could not watch for a tray host", r));
    item->ownerSlot_.reset(slot);
    if (auto named = bus.request_name(item->serviceName_); !named) return std::unexpected(named.error());
    item->register_with_watcher();
    return item;
}

void StatusNotifierItem::register_with_watcher() {
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_call_method_async(bus_.get(), &slot, kWatcherName, "/StatusNotifierWatcher", kWatcherName,
                                           "RegisterStatusNotifierItem", G::registered, this, "s",
                                           serviceName_.c_str());
    if (r < 0) {
        registered_ = false;
        if (callbacks_.watcher) callbacks_.watcher(false);
        return;
    }
    registerSlot_.reset(slot);
}

void StatusNotifierItem::set_look(ItemLook look) {
    const bool icon = look.iconName != look_.iconName || look.pixmaps != look_.pixmaps;
    const bool tip = icon || look.tooltipTitle != look_.tooltipTitle || look.tooltipText != look_.tooltipText;
    look_ = std::move(look);
    if (icon) (void)sd_bus_emit_signal(bus_.get(), kItemPath, kItemInterface, "NewIcon", "");
    if (tip) (void)sd_bus_emit_signal(bus_.get(), kItemPath, kItemInterface, "NewToolTip", "");
}

void StatusNotifierItem::set_menu(MenuNode root) {
    if (root == menu_) return;
    menu_ = std::move(root);
    ++revision_;
    (void)sd_bus_emit_signal(bus_.get(), kMenuPath, kMenuInterface, "LayoutUpdated", "ui", revision_, 0);
}

}  // namespace hp::platform::dbus
