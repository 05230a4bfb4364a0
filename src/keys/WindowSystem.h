#pragma once
// Port for the window operations that target-window activation and the
// receive loop use. The methods keep the Win32 names so that the algorithms
// read like their description; the X11 backend maps them onto EWMH.

#include <cstdint>
#include <string_view>

namespace qv {

// A window handle; 0 is no window.
using HWND = std::int32_t;

// Show commands (ShowWindow) and show states (GetWindowPlacement).
inline constexpr int kSwHide = 0;
inline constexpr int kSwShowNormal = 1;
inline constexpr int kSwShowMinimized = 2;
inline constexpr int kSwShowMaximized = 3;
inline constexpr int kSwShowNoActivate = 4;
inline constexpr int kSwShow = 5;
inline constexpr int kSwMinimize = 6;
inline constexpr int kSwShowMinNoActive = 7;
inline constexpr int kSwShowNA = 8;
inline constexpr int kSwRestore = 9;
inline constexpr int kSwShowDefault = 10;
inline constexpr int kSwForceMinimize = 11;

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // The top-most top-level window of this class (ASCII case ignored), 0 for none.
    virtual HWND FindWindowA(std::string_view className) = 0;
    // The window in the foreground, 0 for none.
    virtual HWND GetForegroundWindow() = 0;
    // The window's show state (kSwShowNormal, ...Minimized, ...Maximized), 0 when unreadable.
    virtual int GetWindowPlacement(HWND hwnd) = 0;
    // The id of the thread that owns the window, 0 for no window.
    virtual std::uint32_t GetWindowThreadProcessId(HWND hwnd) = 0;
    // Attaches (or detaches) the input state of thread `attach` to thread `attachTo`.
    virtual void AttachThreadInput(std::uint32_t attach, std::uint32_t attachTo, bool doAttach) = 0;
    // Reads the system's foreground lock timeout (SPI_GETFOREGROUNDLOCKTIMEOUT).
    virtual std::uint32_t GetForegroundLockTimeout() = 0;
    // Sets the foreground lock timeout for this session only (SPI_SETFOREGROUNDLOCKTIMEOUT).
    virtual void SetForegroundLockTimeout(std::uint32_t value) = 0;
    // Shows, hides, minimises, maximises or restores the window (a kSw... command).
    virtual void ShowWindow(HWND hwnd, int cmd) = 0;
    // Puts the window into the topmost band (true) or takes it out (false); no move, no resize.
    virtual void SetWindowPos(HWND hwnd, bool topmost) = 0;
    // Brings the window to the foreground and gives it the keyboard focus.
    virtual void SetForegroundWindow(HWND hwnd) = 0;
    // Blocks the calling thread for ms milliseconds.
    virtual void Sleep(std::uint32_t ms) = 0;
};

}  // namespace qv
