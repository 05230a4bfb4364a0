#pragma once
// The program's GNOME Shell extension (data/gnome-shell): its uuid and what
// it offers on the session bus.

namespace qv::gnome {

inline constexpr const char* kExtensionUuid = "quorvane-windows@quorvane";
inline constexpr const char* kExtensionBusName = "org.quorvane.Quorvane.Windows";
inline constexpr const char* kExtensionPath = "/org/quorvane/Quorvane/Windows";
inline constexpr const char* kExtensionInterface = "org.quorvane.Quorvane.Windows";

}  // namespace qv::gnome
