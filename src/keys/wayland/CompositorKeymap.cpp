#include "keys/wayland/CompositorKeymap.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/DebugLog.h"
#include "keys/wayland/WaylandConnection.h"

namespace qv::wayland {
namespace {

// How long reading what the compositor sent may take before a batch.
constexpr std::chrono::milliseconds kRefreshBound{500};
// How long Open() waits for the first keymap.
constexpr std::chrono::milliseconds kFirstKeymapBound{1000};
// Keymaps of the program's own keyboards remembered for passing over.
constexpr std::size_t kPassedOverKept = 4;

void OnCapabilities(void* data, wl_seat*, std::uint32_t capabilities) {
    static_cast<CompositorKeymap*>(data)->SeatCapabilities(capabilities);
}
void OnName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener = {OnCapabilities, OnName};

void OnKeymap(void* data, wl_keyboard*, std::uint32_t format, int fd, std::uint32_t size) {
    static_cast<CompositorKeymap*>(data)->Received(format, fd, size);
}
void OnEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
void OnLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
void OnKey(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void OnModifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                 std::uint32_t) {}
void OnRepeatInfo(void*, wl_keyboard*, std::int32_t, std::int32_t) {}
const wl_keyboard_listener kKeyboardListener = {OnKeymap, OnEnter,     OnLeave,
                                                OnKey,    OnModifiers, OnRepeatInfo};

// The text of a keymap file the compositor sent (its size counts the
// terminating NUL); empty when it cannot be read.
std::string ReadKeymapFile(int fd, std::uint32_t size) {
    if (size == 0) {
        return {};
    }
    void* data = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (data == MAP_FAILED) {
        DebugLogErrno("mmap (keymap)", errno);
        return {};
    }
    const char* text = static_cast<const char*>(data);
    std::string out(text, std::find(text, text + size, '\0'));
    munmap(data, size);
    return out;
}

// Whether a keymap is a keyboard layout: a named one with a key for every
// letter. Other programs' virtual keyboards (wtype, on-screen keyboards)
// upload keymaps of just the keys they type, and the compositor sends those
// to every client while such a keyboard is in use: they are no layout of
// the user's.
bool IsKeyboardLayout(const LayoutKeys& keys) {
    if (keys.Name().empty()) {
        return false;
    }
    for (int letter = 'A'; letter <= 'Z'; ++letter) {
        if (keys.KeycodeFor(letter) == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

CompositorKeymap::CompositorKeymap(WaylandConnection& connection, wl_seat* seat)
    : connection_(&connection), seat_(seat) {
    wl_seat_add_listener(seat_, &kSeatListener, this);
}

std::unique_ptr<CompositorKeymap> CompositorKeymap::Open(const char* display, std::string& error) {
    std::unique_ptr<WaylandConnection> connection = WaylandConnection::Connect(display, error);
    if (!connection) {
        return nullptr;
    }
    const WaylandConnection::Global* seatGlobal = connection->Find(wl_seat_interface.name);
    if (seatGlobal == nullptr) {
        error = "the compositor has no seat (wl_seat)";
        return nullptr;
    }
    auto* seat = static_cast<wl_seat*>(connection->Bind(*seatGlobal, &wl_seat_interface, 5));
    std::unique_ptr<CompositorKeymap> keymap(new CompositorKeymap(*connection, seat));
    keymap->ownConnection_ = std::move(connection);
    keymap->ownSeat_ = true;
    if (!keymap->WaitForLayout(kFirstKeymapBound)) {
        DebugLog("keys: the compositor has sent no keyboard layout yet" +
                 std::string(keymap->SeatHasKeyboard() ? "" : " (the seat has no keyboard)"));
    }
    return keymap;
}

CompositorKeymap::~CompositorKeymap() {
    if (keyboard_ != nullptr) {
        if (wl_keyboard_get_version(keyboard_) >= WL_KEYBOARD_RELEASE_SINCE_VERSION) {
            wl_keyboard_release(keyboard_);
        } else {
            wl_keyboard_destroy(keyboard_);
        }
    }
    if (ownSeat_) {
        wl_seat_destroy(seat_);
    }
    if (ownConnection_) {
        wl_display_flush(ownConnection_->Display());
    }
}

bool CompositorKeymap::WaitForLayout(std::chrono::milliseconds bound) {
    // The capabilities come first; a seat with a keyboard then sends the
    // keymap in answer to get_keyboard.
    connection_->Roundtrip(bound);
    if (keyboard_ == nullptr) {
        return layout_ != nullptr;
    }
    connection_->DispatchUntil([this] { return layout_ != nullptr; }, bound);
    return layout_ != nullptr;
}

void CompositorKeymap::SeatCapabilities(std::uint32_t capabilities) {
    if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0 && keyboard_ == nullptr) {
        keyboard_ = wl_seat_get_keyboard(seat_);
        wl_keyboard_add_listener(keyboard_, &kKeyboardListener, this);
    }
    // A seat that loses its keyboards keeps the wl_keyboard: it answers again
    // when a keyboard comes back, and the last layout stays meanwhile.
}

void CompositorKeymap::Received(std::uint32_t format, int fd, std::uint32_t size) {
    const std::string text =
        format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 ? ReadKeymapFile(fd, size) : std::string();
    close(fd);
    if (text.empty() || text == text_ ||
        std::find(passedOver_.begin(), passedOver_.end(), text) != passedOver_.end()) {
        return;
    }
    std::string error;
    SharedKeymap keymap = CompileKeymap(text, error);
    if (!keymap) {
        DebugLog("keys: the compositor's keymap: " + error);
        return;
    }
    // The compositor writes back the program's own keymap with its own
    // xkbcommon; written with ours it is the text that was passed over.
    if (std::find(passedOver_.begin(), passedOver_.end(), KeymapText(keymap.get())) !=
        passedOver_.end()) {
        PassOver(text);
        return;
    }
    auto layout = std::make_unique<LayoutKeys>(std::move(keymap));
    if (!IsKeyboardLayout(*layout)) {
        DebugLog(
            "keys: passing over a keymap that is no keyboard layout (another program's "
            "virtual keyboard)");
        PassOver(text);
        return;
    }
    layout_ = std::move(layout);
    text_ = text;
    ++generation_;
    DebugLog("keys: keyboard layout from the compositor: " + Name());
}

void CompositorKeymap::PassOver(std::string text) {
    passedOver_.push_back(std::move(text));
    if (passedOver_.size() > kPassedOverKept) {
        passedOver_.erase(passedOver_.begin());
    }
}

void CompositorKeymap::Refresh() {
    connection_->Roundtrip(kRefreshBound);
}

std::uint16_t CompositorKeymap::KeyFor(int virtualKey) const {
    return layout_ ? layout_->EvdevKeyFor(virtualKey) : 0;
}

std::string CompositorKeymap::Name() const {
    if (!layout_) {
        return "no layout from the compositor";
    }
    const std::string name = layout_->Name();
    return name.empty() ? "unnamed layout" : name;
}

}  // namespace qv::wayland
