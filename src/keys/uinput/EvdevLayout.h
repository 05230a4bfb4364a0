#pragma once
// Where the keys of a Linux keyboard are on the user's layout: which key (a
// Linux KEY_* code, linux/input-event-codes.h) carries each Windows
// virtual-key code. The backends that press Linux keys (the uinput keyboard,
// the desktops' own input interfaces) ask it, so that a key list types on the
// user's layout what the same keys typed on Windows.

#include <cstdint>
#include <string>

namespace qv {

class EvdevLayout {
public:
    virtual ~EvdevLayout() = default;
    // Takes in a layout change that happened meanwhile; called before each
    // batch, on the thread that sends the keys.
    virtual void Refresh() {}
    // The KEY_* code of the key that carries `virtualKey`; 0 (KEY_RESERVED)
    // when no key of the layout does.
    virtual std::uint16_t KeyFor(int virtualKey) const = 0;
    // The layout's name for the debug log ("Japanese", "US keys").
    virtual std::string Name() const = 0;
};

// The keys of a PC keyboard (EvdevKeys.h), for sessions whose layout cannot
// be learnt: the key a US keyboard has in the place of each code, whatever
// the user's layout then makes of it.
class PcEvdevLayout final : public EvdevLayout {
public:
    std::uint16_t KeyFor(int virtualKey) const override;
    std::string Name() const override { return "PC keys (layout unknown)"; }
};

}  // namespace qv
