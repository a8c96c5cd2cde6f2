#include "platform/dbus/StatusNotifierIcon.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstring>

#include "platform/Encoding.h"

namespace {

constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kMenuPath = "/MenuBar";
constexpr const char* kMenuInterface = "com.canonical.dbusmenu";
constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";

// Drops a slot, which also cancels the reply or match it waits for.
void Drop(sd_bus_slot*& slot) {
    slot = sd_bus_slot_unref(slot);
}

}  // namespace

struct TStatusNotifierIcon::TState {
    TStatusNotifierIcon* Owner = nullptr;
    sd_bus* Bus = nullptr;
    std::string Id;
    std::string Title;  // UTF-8
    TTrayPicture Picture;
    std::vector<std::string> Menu;  // UTF-8
    uint32_t MenuRevision = 1;
    bool Up = false;
    bool Registered = false;
    int Generation = 0;  // names the item's bus name while it is up
    std::string Service;
    sd_bus_slot* ItemSlot = nullptr;
    sd_bus_slot* MenuSlot = nullptr;
    sd_bus_slot* WatcherMatch = nullptr;
    sd_bus_slot* NameCall = nullptr;
    sd_bus_slot* RegisterCall = nullptr;

    ~TState() {
        for (sd_bus_slot** slot : {&ItemSlot, &MenuSlot, &WatcherMatch, &NameCall, &RegisterCall})
            Drop(*slot);
        if (Bus) Bus = sd_bus_flush_close_unref(Bus);
    }

    void Emit(const char* path, const char* interface, const char* member) {
        if (Bus && Up) sd_bus_emit_signal(Bus, path, interface, member, "");
    }

    // Offers the item to the watcher; its reply confirms the icon. A call that waits still is
    // dropped first, so an old answer never confirms a newer offer.
    void Register() {
        Registered = false;
        Drop(RegisterCall);
        sd_bus_call_method_async(Bus, &RegisterCall, kWatcherName, kWatcherPath, kWatcherName,
                                 "RegisterStatusNotifierItem", OnRegistered, this, "s", Service.c_str());
    }

    static int OnRegistered(sd_bus_message* reply, void* data, sd_bus_error*) {
        auto* self = static_cast<TState*>(data);
        self->RegisterCall = sd_bus_slot_unref(self->RegisterCall);
        self->Registered = self->Up && !sd_bus_message_is_method_error(reply, nullptr);
        return 0;
    }

    static int OnWatcherOwner(sd_bus_message* signal, void* data, sd_bus_error*) {
        auto* self = static_cast<TState*>(data);
        const char *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
        if (sd_bus_message_read(signal, "sss", &name, &oldOwner, &newOwner) < 0 || !name ||
            std::strcmp(name, kWatcherName) != 0)
            return 0;
        self->Registered = false;
        if (newOwner && *newOwner && self->Up && self->Owner->OnAreaCreated) self->Owner->OnAreaCreated();
        return 0;
    }

    // ---- the item's properties and methods ----

    static int AppendPixmaps(sd_bus_message* m, const TTrayPicture& picture) {
        int r = sd_bus_message_open_container(m, 'a', "(iiay)");
        if (r < 0) return r;
        const size_t count = static_cast<size_t>(picture.Width) * static_cast<size_t>(picture.Height);
        if (picture.Width > 0 && picture.Height > 0 && picture.Pixels.size() >= count) {
            // ARGB, each pixel's bytes in network order.
            std::vector<uint8_t> bytes(count * 4);
            for (size_t i = 0; i < count; ++i) {
                const uint32_t p = picture.Pixels[i];
                bytes[i * 4] = static_cast<uint8_t>(p >> 24);
                bytes[i * 4 + 1] = static_cast<uint8_t>(p >> 16);
                bytes[i * 4 + 2] = static_cast<uint8_t>(p >> 8);
                bytes[i * 4 + 3] = static_cast<uint8_t>(p);
            }
            if ((r = sd_bus_message_open_container(m, 'r', "iiay")) < 0 ||
                (r = sd_bus_message_append(m, "ii", picture.Width, picture.Height)) < 0 ||
                (r = sd_bus_message_append_array(m, 'y', bytes.data(), bytes.size())) < 0 ||
                (r = sd_bus_message_close_container(m)) < 0)
                return r;
        }
        return sd_bus_message_close_container(m);
    }

    static int Property(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply, void* data,
                        sd_bus_error*) {
        auto* self = static_cast<TState*>(data);
        const std::string name = property;
        if (name == "Category") return sd_bus_message_append(reply, "s", "ApplicationStatus");
        if (name == "Id") return sd_bus_message_append(reply, "s", self->Id.c_str());
        if (name == "Title") return sd_bus_message_append(reply, "s", self->Title.c_str());
        if (name == "Status") return sd_bus_message_append(reply, "s", "Active");
        if (name == "WindowId") return sd_bus_message_append(reply, "i", 0);
        if (name == "ItemIsMenu") return sd_bus_message_append(reply, "b", 0);
        if (name == "Menu") return sd_bus_message_append(reply, "o", kMenuPath);
        if (name == "IconPixmap") return AppendPixmaps(reply, self->Picture);
        if (name == "OverlayIconPixmap" || name == "AttentionIconPixmap") return AppendPixmaps(reply, {});
        if (name == "ToolTip") {
            int r;
            if ((r = sd_bus_message_open_container(reply, 'r', "sa(iiay)ss")) < 0 ||
                (r = sd_bus_message_append(reply, "s", "")) < 0 || (r = AppendPixmaps(reply, {})) < 0 ||
                (r = sd_bus_message_append(reply, "ss", self->Title.c_str(), "")) < 0)
                return r;
            return sd_bus_message_close_container(reply);
        }
        return sd_bus_message_append(reply, "s", "");  // the icon names: none, the pixmap is the icon
    }

    static int Activate(sd_bus_message* call, void* data, sd_bus_error*) {
        auto* self = static_cast<TState*>(data);
        const int r = sd_bus_reply_method_return(call, "");
        if (self->Owner->OnActivate) self->Owner->OnActivate();
        return r;
    }

    // The menu is the item's Menu object, which the desktop shows itself; these have nothing to do.
    static int Ignore(sd_bus_message* call, void*, sd_bus_error*) { return sd_bus_reply_method_return(call, ""); }

    // ---- the menu: a root (id 0) with one entry per caption (ids 1...) ----

    int AppendItemProperties(sd_bus_message* m, int32_t id) const {
        int r = sd_bus_message_open_container(m, 'a', "{sv}");
        if (r < 0) return r;
        if (id == 0) {
            r = sd_bus_message_append(m, "{sv}", "children-display", "s", "submenu");
        } else {
            // An underscore marks a mnemonic in a label; a caption's own is doubled.
            std::string label;
            for (char c : Menu[static_cast<size_t>(id - 1)])
                label += c == '_' ? std::string("__") : std::string(1, c);
            r = sd_bus_message_append(m, "{sv}", "label", "s", label.c_str());
        }
        if (r < 0) return r;
        return sd_bus_message_close_container(m);
    }

    int AppendItem(sd_bus_message* m, int32_t id, int32_t depth) const {
        int r;
        if ((r = sd_bus_message_open_container(m, 'r', "ia{sv}av")) < 0 ||
            (r = sd_bus_message_append(m, "i", id)) < 0 || (r = AppendItemProperties(m, id)) < 0 ||
            (r = sd_bus_message_open_container(m, 'a', "v")) < 0)
            return r;
        if (id == 0 && depth != 0) {
            for (size_t i = 0; i < Menu.size(); ++i) {
                if ((r = sd_bus_message_open_container(m, 'v', "(ia{sv}av)")) < 0 ||
                    (r = AppendItem(m, static_cast<int32_t>(i + 1), depth - 1)) < 0 ||
                    (r = sd_bus_message_close_container(m)) < 0)
                    return r;
            }
        }
        if ((r = sd_bus_message_close_container(m)) < 0) return r;
        return sd_bus_message_close_container(m);
    }

    bool HasItem(int32_t id) const { return id >= 0 && static_cast<size_t>(id) <= Menu.size(); }

    static int GetLayout(sd_bus_message* call, void* data, sd_bus_error* error) {
        auto* self = static_cast<TState*>(data);
        int32_t parent = 0, depth = -1;
        int r = sd_bus_message_read(call, "ii", &parent, &depth);
        if (r < 0) return r;
        if (!self->HasItem(parent)) return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS, "no such menu item");
        sd_bus_message* reply = nullptr;
        if ((r = sd_bus_message_new_method_return(call, &reply)) < 0) return r;
        if ((r = sd_bus_message_append(reply, "u", self->MenuRevision)) >= 0 &&
            (r = self->AppendItem(reply, parent, depth)) >= 0)
            r = sd_bus_send(nullptr, reply, nullptr);
        sd_bus_message_unref(reply);
        return r;
    }

    static int GetGroupProperties(sd_bus_message* call, void* data, sd_bus_error*) {
        auto* self = static_cast<TState*>(data);
        std::vector<int32_t> ids;
        const void* array = nullptr;
        size_t size = 0;
        int r = sd_bus_message_read_array(call, 'i', &array, &size);
        if (r < 0) return r;
        ids.resize(size / sizeof(int32_t));
        if (size) std::memcpy(ids.data(), array, ids.size() * sizeof(int32_t));
        if (ids.empty())
            for (size_t i = 0; i <= self->Menu.size(); ++i)
                ids.push_back(static_cast<int32_t>(i));
        sd_bus_message* reply = nullptr;
        if ((r = sd_bus_message_new_method_return(call, &reply)) < 0) return r;
        r = sd_bus_message_open_container(reply, 'a', "(ia{sv})");
        for (int32_t id : ids) {
            if (r < 0 || !self->HasItem(id)) continue;
            if ((r = sd_bus_message_open_container(reply, 'r', "ia{sv}")) < 0 ||
                (r = sd_bus_message_append(reply, "i", id)) < 0 || (r = self->AppendItemProperties(reply, id)) < 0)
                break;
            r = sd_bus_message_close_container(reply);
        }
        if (r >= 0 && (r = sd_bus_message_close_container(reply)) >= 0) r = sd_bus_send(nullptr, reply, nullptr);
        sd_bus_message_unref(reply);
        return r;
    }

    static int Event(sd_bus_message* call, void* data, sd_bus_error*) {
        auto* self = static_cast<TState*>(data);
        int32_t id = 0;
        const char* event = nullptr;
        int r = sd_bus_message_read(call, "is", &id, &event);
        if (r < 0) return r;
        r = sd_bus_reply_method_return(call, "");
        if (event && std::strcmp(event, "clicked") == 0 && id >= 1 && self->HasItem(id) && self->Owner->OnMenu)
            self->Owner->OnMenu(static_cast<size_t>(id - 1));
        return r;
    }

    static int AboutToShow(sd_bus_message* call, void*, sd_bus_error*) {
        return sd_bus_reply_method_return(call, "b", 0);
    }

    static int MenuProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply, void*,
                            sd_bus_error*) {
        const std::string name = property;
        if (name == "Version") return sd_bus_message_append(reply, "u", 3u);
        if (name == "IconThemePath") return sd_bus_message_append(reply, "as", 0);
        if (name == "TextDirection") return sd_bus_message_append(reply, "s", "ltr");
        return sd_bus_message_append(reply, "s", "normal");
    }
};

namespace {

const sd_bus_vtable kItemVTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Category", "s", TStatusNotifierIcon::TState::Property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Id", "s", TStatusNotifierIcon::TState::Property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Title", "s", TStatusNotifierIcon::TState::Property, 0, 0),
    SD_BUS_PROPERTY("Status", "s", TStatusNotifierIcon::TState::Property, 0, 0),
    SD_BUS_PROPERTY("WindowId", "i", TStatusNotifierIcon::TState::Property, 0, 0),
    SD_BUS_PROPERTY("IconName", "s", TStatusNotifierIcon::TState::Property, 0, 0),
    SD_BUS_PROPERTY("IconPixmap", "a(iiay)", TStatusNotifierIcon::TState::Property, 0, 0),
    SD_BUS_PROPERTY("OverlayIconName", "s", TStatusNotifierIcon::TState::Property, 0, 0),
    SD_BUS_PROPERTY("OverlayIconPixmap", "a(iiay)", TStatusNotifierIcon::TState::Property, 0, 0),
    SD_BUS_PROPERTY("AttentionIconName", "s", TStatusNotifierIcon::TState::Property, 0, 0),
    SD_BUS_PROPERTY("AttentionIconPixmap", "a(iiay)", TStatusNotifierIcon::TState::Property, 0, 0),
    SD_BUS_PROPERTY("AttentionMovieName", "s", TStatusNotifierIcon::TState::Property, 0, 0),
    SD_BUS_PROPERTY("ToolTip", "(sa(iiay)ss)", TStatusNotifierIcon::TState::Property, 0, 0),
    SD_BUS_PROPERTY("ItemIsMenu", "b", TStatusNotifierIcon::TState::Property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Menu", "o", TStatusNotifierIcon::TState::Property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("Activate", "ii", "", TStatusNotifierIcon::TState::Activate, 0),
    SD_BUS_METHOD("SecondaryActivate", "ii", "", TStatusNotifierIcon::TState::Ignore, 0),
    SD_BUS_METHOD("ContextMenu", "ii", "", TStatusNotifierIcon::TState::Ignore, 0),
    SD_BUS_METHOD("Scroll", "is", "", TStatusNotifierIcon::TState::Ignore, 0),
    SD_BUS_SIGNAL("NewTitle", "", 0),
    SD_BUS_SIGNAL("NewIcon", "", 0),
    SD_BUS_SIGNAL("NewAttentionIcon", "", 0),
    SD_BUS_SIGNAL("NewOverlayIcon", "", 0),
    SD_BUS_SIGNAL("NewToolTip", "", 0),
    SD_BUS_SIGNAL("NewStatus", "s", 0),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable kMenuVTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Version", "u", TStatusNotifierIcon::TState::MenuProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("TextDirection", "s", TStatusNotifierIcon::TState::MenuProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Status", "s", TStatusNotifierIcon::TState::MenuProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconThemePath", "as", TStatusNotifierIcon::TState::MenuProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("GetLayout", "iias", "u(ia{sv}av)", TStatusNotifierIcon::TState::GetLayout, 0),
    SD_BUS_METHOD("GetGroupProperties", "aias", "a(ia{sv})", TStatusNotifierIcon::TState::GetGroupProperties, 0),
    SD_BUS_METHOD("Event", "isvu", "", TStatusNotifierIcon::TState::Event, 0),
    SD_BUS_METHOD("AboutToShow", "i", "b", TStatusNotifierIcon::TState::AboutToShow, 0),
    SD_BUS_SIGNAL("LayoutUpdated", "ui", 0),
    SD_BUS_SIGNAL("ItemsPropertiesUpdated", "a(ia{sv})a(ias)", 0),
    SD_BUS_VTABLE_END,
};

}  // namespace

TStatusNotifierIcon::TStatusNotifierIcon(const std::string& id) : State(std::make_unique<TState>()) {
    TState& s = *State;
    s.Owner = this;
    s.Id = id;
    if (sd_bus_open_user(&s.Bus) < 0) {
        s.Bus = nullptr;
        return;
    }
    // The objects are served on the connection's own name from the start; the item's well-known
    // name is taken only while the icon is up.
    bool ok = sd_bus_add_object_vtable(s.Bus, &s.ItemSlot, kItemPath, kItemInterface, kItemVTable, &s) >= 0 &&
              sd_bus_add_object_vtable(s.Bus, &s.MenuSlot, kMenuPath, kMenuInterface, kMenuVTable, &s) >= 0;
    const std::string rule = std::string(
                                 "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                                 "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='") +
                             kWatcherName + "'";
    ok = ok && sd_bus_add_match_async(s.Bus, &s.WatcherMatch, rule.c_str(), TState::OnWatcherOwner, nullptr, &s) >= 0;
    if (!ok) {
        State = std::make_unique<TState>();
        State->Owner = this;
    }
}

TStatusNotifierIcon::~TStatusNotifierIcon() = default;

bool TStatusNotifierIcon::Connected() const {
    return State->Bus != nullptr;
}

std::string TStatusNotifierIcon::ServiceName() const {
    return State->Up ? State->Service : std::string();
}

void TStatusNotifierIcon::Add(const std::string& tip, const TTrayPicture& picture,
                              const std::vector<std::string>& menu) {
    TState& s = *State;
    if (!s.Bus) return;
    std::vector<std::string> captions;
    for (const std::string& caption : menu)
        captions.push_back(Encoding::SjisToUtf8(caption));
    const std::string title = Encoding::SjisToUtf8(tip);
    const bool retitled = title != s.Title;
    const bool newMenu = captions != s.Menu;
    s.Title = title;
    s.Picture = picture;
    s.Menu = std::move(captions);
    if (newMenu) ++s.MenuRevision;
    if (!s.Up) {
        s.Up = true;
        s.Service = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-" + std::to_string(++s.Generation);
        Drop(s.NameCall);
        sd_bus_request_name_async(s.Bus, &s.NameCall, s.Service.c_str(), 0, nullptr, nullptr);
    } else {
        if (retitled) {
            s.Emit(kItemPath, kItemInterface, "NewTitle");
            s.Emit(kItemPath, kItemInterface, "NewToolTip");
        }
        s.Emit(kItemPath, kItemInterface, "NewIcon");
        if (newMenu) sd_bus_emit_signal(s.Bus, kMenuPath, kMenuInterface, "LayoutUpdated", "ui", s.MenuRevision, 0);
    }
    // The bus hands the name over before it routes this call, which comes after on the same
    // connection. Both go out at the next Dispatch (this may run inside one, which cannot nest).
    s.Register();
}

void TStatusNotifierIcon::Remove() {
    TState& s = *State;
    if (!s.Bus || !s.Up) return;
    s.Up = false;
    s.Registered = false;
    Drop(s.RegisterCall);
    Drop(s.NameCall);
    // The watcher drops an item whose name goes away.
    sd_bus_release_name_async(s.Bus, &s.NameCall, s.Service.c_str(), nullptr, nullptr);
}

bool TStatusNotifierIcon::Confirmed() const {
    return State->Bus && State->Up && State->Registered;
}

void TStatusNotifierIcon::Dispatch() {
    TState& s = *State;
    if (!s.Bus) return;
    // A bounded number of turns: a flood of messages does not hold the frame up.
    for (int turn = 0; turn < 64; ++turn)
        if (sd_bus_process(s.Bus, nullptr) <= 0) break;
    if (sd_bus_is_open(s.Bus) <= 0) {
        // The bus went away: nothing is shown any more, and nothing will be.
        State = std::make_unique<TState>();
        State->Owner = this;
    }
}
