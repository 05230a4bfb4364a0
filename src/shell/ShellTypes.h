#pragma once
// Message vocabulary of the program's windows. Messages are delivered to a
// window's current window procedure (see WindowProcs); the numbers are those
// of the Win32 messages the program reacts to, so the Windows backend can pass
// them through unchanged. Names avoid the WM_ spelling because <windows.h>
// defines those as macros.

#include <cstdint>

namespace qv {

// A window handle; 0 and -1 mean "no window".
using WindowHandle = std::int32_t;
// A message number.
using MessageId = std::uint32_t;
// Message parameters; pointer-sized so that lParam can carry a record's address.
using WParam = std::intptr_t;
using LParam = std::intptr_t;
// A window procedure's result. Clients answer -1 (pass on), 0 (consumed) or
// another value (handled with that result).
using LResult = std::intptr_t;
// Identifies a window procedure registered with WindowProcs; 0 is none.
using ProcId = std::intptr_t;

inline constexpr LResult kPassOn = -1;
inline constexpr LResult kConsumed = 0;

inline constexpr MessageId kWmNull = 0x0000;
inline constexpr MessageId kWmMouseMove = 0x0200;
inline constexpr MessageId kWmLButtonDown = 0x0201;
inline constexpr MessageId kWmLButtonUp = 0x0202;
inline constexpr MessageId kWmLButtonDblClk = 0x0203;
inline constexpr MessageId kWmRButtonDown = 0x0204;
inline constexpr MessageId kWmRButtonUp = 0x0205;
inline constexpr MessageId kWmRButtonDblClk = 0x0206;
inline constexpr MessageId kWmMButtonDown = 0x0207;
inline constexpr MessageId kWmMButtonUp = 0x0208;
inline constexpr MessageId kWmMButtonDblClk = 0x0209;
inline constexpr MessageId kWmDeviceChange = 0x0219;
inline constexpr MessageId kWmUser = 0x0400;

}  // namespace qv
