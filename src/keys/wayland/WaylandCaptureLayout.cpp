#include "keys/wayland/WaylandCaptureLayout.h"

#include "keys/wayland/CompositorKeymap.h"

namespace qv::wayland {

std::unique_ptr<WaylandCaptureLayout> WaylandCaptureLayout::Open(const char* display,
                                                                 std::string& error) {
    std::unique_ptr<CompositorKeymap> keymap = CompositorKeymap::Open(display, error);
    if (!keymap) {
        return nullptr;
    }
    return std::unique_ptr<WaylandCaptureLayout>(new WaylandCaptureLayout(std::move(keymap)));
}

WaylandCaptureLayout::WaylandCaptureLayout(std::unique_ptr<CompositorKeymap> keymap)
    : keymap_(std::move(keymap)) {}

WaylandCaptureLayout::~WaylandCaptureLayout() = default;

std::int16_t WaylandCaptureLayout::VirtualKeyOfKey(std::uint32_t nativeKeycode,
                                                   std::uint32_t nativeModifiers) {
    // The compositor sent the keymap of the keyboard the key came from
    // before the key: a round trip reads it.
    keymap_->Refresh();
    const LayoutKeys* layout = keymap_->Layout();
    if (layout == nullptr) {
        return 0;
    }
    return layout->VirtualKeyOf(nativeKeycode, (nativeModifiers & layout->NumLockMask()) != 0);
}

std::string WaylandCaptureLayout::LayoutName() const {
    return keymap_->Name();
}

}  // namespace qv::wayland
