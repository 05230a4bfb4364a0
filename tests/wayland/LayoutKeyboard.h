#pragma once
// A keyboard of the test's own on sway's seat, standing in for the user's
// physical one: a virtual keyboard with a whole layout's keymap (as sway
// gives a keyboard of that layout), pressing keys by their names in xkb's
// keycode list ("AE02", "TLDE"). It keeps its modifier and lock state with
// xkbcommon over that keymap and reports it with every key, as the
// compositor does for a real keyboard (a virtual keyboard's keys change no
// modifier by themselves). Used inside with-sway.sh's session.

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "keys/wayland/LayoutKeys.h"
#include "keys/wayland/WaylandConnection.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace qv::wayland::test {

class LayoutKeyboard {
public:
    LayoutKeyboard(const std::string& layout, const std::string& model)
        : keymap_(KeymapFromNames(layout, "", model)) {
        std::string error;
        connection_ = WaylandConnection::Connect(nullptr, error);
        if (!connection_ || !keymap_) {
            ADD_FAILURE() << "no keyboard for " << layout << ": " << error;
            return;
        }
        const auto* managerGlobal =
            connection_->Find(zwp_virtual_keyboard_manager_v1_interface.name);
        const auto* seatGlobal = connection_->Find(wl_seat_interface.name);
        if (managerGlobal == nullptr || seatGlobal == nullptr) {
            ADD_FAILURE() << "the compositor offers no virtual keyboard";
            return;
        }
        seat_ = static_cast<wl_seat*>(connection_->Bind(*seatGlobal, &wl_seat_interface, 1));
        manager_ = static_cast<zwp_virtual_keyboard_manager_v1*>(
            connection_->Bind(*managerGlobal, &zwp_virtual_keyboard_manager_v1_interface, 1));
        keyboard_ = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager_, seat_);
        state_.reset(xkb_state_new(keymap_.get()));

        const std::string text = KeymapText(keymap_.get());
        const int fd = memfd_create("layout-keyboard", MFD_CLOEXEC);
        if (fd < 0 ||
            write(fd, text.c_str(), text.size() + 1) != static_cast<ssize_t>(text.size() + 1)) {
            ADD_FAILURE() << "cannot write the keymap";
            if (fd >= 0) {
                close(fd);
            }
            return;
        }
        zwp_virtual_keyboard_v1_keymap(keyboard_, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                       static_cast<std::uint32_t>(text.size() + 1));
        close(fd);
        // sway drops keys of a keyboard it has just set up; a state report,
        // a round trip and a pause first (as the program's injector does).
        zwp_virtual_keyboard_v1_modifiers(keyboard_, 0, 0, 0, 0);
        ready_ = connection_->Roundtrip(std::chrono::seconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_TRUE(ready_) << "the compositor did not take the keyboard";
    }
    ~LayoutKeyboard() {
        if (keyboard_ != nullptr) {
            zwp_virtual_keyboard_v1_destroy(keyboard_);
        }
        if (manager_ != nullptr) {
            zwp_virtual_keyboard_manager_v1_destroy(manager_);
        }
        if (seat_ != nullptr) {
            wl_seat_destroy(seat_);
        }
        if (connection_) {
            connection_->Roundtrip(std::chrono::seconds(1));
        }
    }
    LayoutKeyboard(const LayoutKeyboard&) = delete;
    LayoutKeyboard& operator=(const LayoutKeyboard&) = delete;

    bool Ready() const { return ready_; }
    xkb_keymap* Keymap() const { return keymap_.get(); }

    // The xkb keycode of a key by its name; XKB_KEYCODE_INVALID for none.
    xkb_keycode_t Keycode(const std::string& name) const {
        return xkb_keymap_key_by_name(keymap_.get(), name.c_str());
    }

    // Presses or lets go of a key, reports the state that leaves and waits
    // until the compositor has handed the key on.
    void Key(const std::string& name, bool down) {
        const xkb_keycode_t keycode = Keycode(name);
        ASSERT_NE(keycode, XKB_KEYCODE_INVALID) << name << " is not in the keymap";
        ASSERT_TRUE(ready_);
        zwp_virtual_keyboard_v1_key(
            keyboard_, InputTimestamp(), keycode - 8,
            down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
        xkb_state_update_key(state_.get(), keycode, down ? XKB_KEY_DOWN : XKB_KEY_UP);
        zwp_virtual_keyboard_v1_modifiers(
            keyboard_, xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_DEPRESSED),
            xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_LATCHED),
            xkb_state_serialize_mods(state_.get(), XKB_STATE_MODS_LOCKED),
            xkb_state_serialize_layout(state_.get(), XKB_STATE_LAYOUT_EFFECTIVE));
        EXPECT_TRUE(connection_->Roundtrip(std::chrono::seconds(5))) << name;
    }

    // Presses and lets go of a key, left Shift held around it if asked.
    void Tap(const std::string& name, bool shift = false) {
        if (shift) {
            Key("LFSH", true);
        }
        Key(name, true);
        Key(name, false);
        if (shift) {
            Key("LFSH", false);
        }
    }

    // Types letters (capitals with Shift) and digits by their keys, which
    // are the same on every layout here.
    void Type(const std::string& text) {
        for (const char c : text) {
            const bool capital = c >= 'A' && c <= 'Z';
            const char letter = capital ? static_cast<char>(c - 'A' + 'a') : c;
            xkb_keycode_t found = XKB_KEYCODE_INVALID;
            const xkb_keysym_t wanted = static_cast<xkb_keysym_t>(letter);
            for (xkb_keycode_t k = xkb_keymap_min_keycode(keymap_.get());
                 k <= xkb_keymap_max_keycode(keymap_.get()) && found == XKB_KEYCODE_INVALID; ++k) {
                const xkb_keysym_t* syms = nullptr;
                if (xkb_keymap_key_get_syms_by_level(keymap_.get(), k, 0, 0, &syms) == 1 &&
                    syms[0] == wanted) {
                    found = k;
                }
            }
            ASSERT_NE(found, XKB_KEYCODE_INVALID) << "no key types " << c;
            Tap(xkb_keymap_key_get_name(keymap_.get(), found), capital);
        }
    }

private:
    struct StateUnref {
        void operator()(xkb_state* s) const { xkb_state_unref(s); }
    };

    SharedKeymap keymap_;
    std::unique_ptr<xkb_state, StateUnref> state_;
    std::unique_ptr<WaylandConnection> connection_;
    wl_seat* seat_ = nullptr;
    zwp_virtual_keyboard_manager_v1* manager_ = nullptr;
    zwp_virtual_keyboard_v1* keyboard_ = nullptr;
    bool ready_ = false;
};

}  // namespace qv::wayland::test
