#include "keys/uinput/UinputKeyboard.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/DebugLog.h"
#include "common/ErrnoText.h"
#include "keys/uinput/EvdevKeys.h"

namespace qv {
namespace {

constexpr const char* kDeviceName = "Quorvane virtual keyboard";

class IoctlControl final : public UinputControl {
public:
    explicit IoctlControl(int fd) : fd_(fd) {}
    bool SetEventBit(int type) override { return Call("UI_SET_EVBIT", UI_SET_EVBIT, type); }
    bool SetKeyBit(int code) override { return Call("UI_SET_KEYBIT", UI_SET_KEYBIT, code); }
    bool Setup(const uinput_setup& setup) override {
        if (ioctl(fd_, UI_DEV_SETUP, &setup) != 0) {
            DebugLogErrno("ioctl(UI_DEV_SETUP)", errno);
            return false;
        }
        return true;
    }
    bool Create() override {
        if (ioctl(fd_, UI_DEV_CREATE) != 0) {
            DebugLogErrno("ioctl(UI_DEV_CREATE)", errno);
            return false;
        }
        return true;
    }
    void Destroy() override {
        if (ioctl(fd_, UI_DEV_DESTROY) != 0) {
            DebugLogErrno("ioctl(UI_DEV_DESTROY)", errno);
        }
    }

private:
    bool Call(const char* name, unsigned long request, int value) {
        if (ioctl(fd_, request, value) != 0) {
            DebugLogErrno(std::string("ioctl(") + name + ")", errno);
            return false;
        }
        return true;
    }
    int fd_;  // owned by the keyboard
};

input_event Record(std::uint16_t type, std::uint16_t code, std::int32_t value) {
    input_event event{};
    event.type = type;
    event.code = code;
    event.value = value;
    return event;
}

}  // namespace

std::vector<input_event> EncodeKeyEvents(std::span<const KeyStroke> batch,
                                         const EvdevLayout& layout, std::vector<int>* skipped) {
    std::vector<input_event> records;
    records.reserve(batch.size() * 2);
    for (const KeyStroke& stroke : batch) {
        const std::uint16_t code = layout.KeyFor(stroke.virtualKey);
        if (code == KEY_RESERVED) {
            if (skipped != nullptr) {
                skipped->push_back(stroke.virtualKey);
            }
            continue;
        }
        records.push_back(Record(EV_KEY, code, stroke.release ? 0 : 1));
        // A report after every key, as a keyboard sends: readers that fold
        // the events of one report into a state see every stroke.
        records.push_back(Record(EV_SYN, SYN_REPORT, 0));
    }
    return records;
}

std::vector<std::uint16_t> UinputKeyCodes() {
    std::vector<std::uint16_t> codes;
    for (std::uint16_t code = KEY_ESC; code <= KEY_MICMUTE; ++code) {
        codes.push_back(code);
    }
    // The PC keys of codes beyond those ([SELECT], [CLEAR]).
    for (int virtualKey = 1; virtualKey < 256; ++virtualKey) {
        const std::uint16_t code = VirtualKeyToEvdev(virtualKey);
        if (code > KEY_MICMUTE && std::find(codes.begin(), codes.end(), code) == codes.end()) {
            codes.push_back(code);
        }
    }
    return codes;
}

std::unique_ptr<UinputKeyboard> UinputKeyboard::Open(std::unique_ptr<EvdevLayout> layout,
                                                     std::string& error, const char* path) {
    UniqueFd fd(open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) {
        error = std::string("open(") + path + "): " + ErrnoText(errno);
        return nullptr;
    }
    auto control = std::make_unique<IoctlControl>(fd.Get());
    return Create(std::move(fd), std::move(control), std::move(layout), error);
}

std::unique_ptr<UinputKeyboard> UinputKeyboard::Create(UniqueFd events,
                                                       std::unique_ptr<UinputControl> control,
                                                       std::unique_ptr<EvdevLayout> layout,
                                                       std::string& error) {
    if (!control->SetEventBit(EV_KEY) || !control->SetEventBit(EV_SYN)) {
        error = "ioctl(UI_SET_EVBIT) failed";
        return nullptr;
    }
    for (const std::uint16_t code : UinputKeyCodes()) {
        if (!control->SetKeyBit(code)) {
            error = "ioctl(UI_SET_KEYBIT, " + std::to_string(code) + ") failed";
            return nullptr;
        }
    }
    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    std::strncpy(setup.name, kDeviceName, UINPUT_MAX_NAME_SIZE - 1);
    if (!control->Setup(setup)) {
        error = "ioctl(UI_DEV_SETUP) failed";
        return nullptr;
    }
    if (!control->Create()) {
        error = "ioctl(UI_DEV_CREATE) failed";
        return nullptr;
    }
    if (!layout) {
        layout = std::make_unique<PcEvdevLayout>();
    }
    DebugLog("keys: the uinput keyboard presses the keys of " + layout->Name());
    return std::unique_ptr<UinputKeyboard>(
        new UinputKeyboard(std::move(events), std::move(control), std::move(layout)));
}

UinputKeyboard::UinputKeyboard(UniqueFd events, std::unique_ptr<UinputControl> control,
                               std::unique_ptr<EvdevLayout> layout)
    : events_(std::move(events)), control_(std::move(control)), layout_(std::move(layout)) {}

UinputKeyboard::~UinputKeyboard() {
    std::vector<input_event> releases;
    for (const std::uint16_t code : held_) {
        releases.push_back(Record(EV_KEY, code, 0));
        releases.push_back(Record(EV_SYN, SYN_REPORT, 0));
    }
    if (!releases.empty()) {
        Write(releases);
    }
    control_->Destroy();
}

void UinputKeyboard::Send(std::span<const KeyStroke> batch) {
    layout_->Refresh();
    std::vector<int> skipped;
    const std::vector<input_event> records = EncodeKeyEvents(batch, *layout_, &skipped);
    if (!skipped.empty()) {
        std::string codes;
        for (const int code : skipped) {
            codes += (codes.empty() ? "" : ", ") + std::to_string(code);
        }
        DebugLog("keys: no key for the virtual-key codes " + codes + " on " + layout_->Name() +
                 ", skipped");
    }
    for (const input_event& r : records) {
        if (r.type == EV_KEY && r.value == 1) {
            held_.insert(r.code);
        } else if (r.type == EV_KEY) {
            held_.erase(r.code);
        }
    }
    if (!records.empty()) {
        Write(records);
    }
}

void UinputKeyboard::Write(const std::vector<input_event>& records) {
    const auto* data = reinterpret_cast<const char*>(records.data());
    std::size_t left = records.size() * sizeof(input_event);
    while (left > 0) {
        const ssize_t n = write(events_.Get(), data, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            DebugLogErrno("write (uinput)", errno);
            return;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
}

}  // namespace qv
