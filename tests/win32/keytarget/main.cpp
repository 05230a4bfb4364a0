// win32_keytarget CLASS [--minimized | --maximized] [--foreground] [--busy] [--layered]
//     [--title TEXT]
// A top-level window of the given class (titled TEXT, or its class) that reports on standard
// output, one line each, what the tests look at:
//   ready hwnd=0x... pid=N
//   key down|up vk=0x.. scan=0x.. ext=0|1 t=<µs> sys=0|1
//                                      (WM_KEYDOWN/WM_KEYUP, sys=1: WM_SYSKEYDOWN/UP)
//   char 0x.. sys=0|1                  (WM_CHAR, sys=1: WM_SYSCHAR)
//   active 1|0 t=<µs>                               (WM_ACTIVATE)
//   size minimized|maximized|normal                 (WM_SIZE)
//   clock t=<µs>                                    (for each line read on stdin)
//   busy / busy done          (--busy: the first key down keeps the window's thread
//                              from reading its queue until a line arrives on stdin)
// --layered makes the window a layered one (drawn without WM_PAINT on request).
// t is QueryPerformanceCounter in microseconds; the clock lines let a script on
// the other side of Wine relate it to its own clock. The program ends when its
// standard input closes (the test that started it ends) or its window is closed.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

HWND gWindow = nullptr;
HANDLE gLineRead = nullptr;  // set for each line on standard input
bool gBusy = false;
LARGE_INTEGER gFrequency;

void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Say(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

long long Microseconds() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart * 1000000 / gFrequency.QuadPart;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYUP: {
            const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
            const bool system = message == WM_SYSKEYDOWN || message == WM_SYSKEYUP;
            if (gBusy && down) {
                gBusy = false;
                Say("busy");
                ::WaitForSingleObject(gLineRead, INFINITE);
                Say("busy done");
            }
            Say("key %s vk=0x%02x scan=0x%02x ext=%d t=%lld sys=%d", down ? "down" : "up",
                static_cast<unsigned>(wParam), static_cast<unsigned>((lParam >> 16) & 0xFF),
                static_cast<int>((lParam >> 24) & 1), Microseconds(), system ? 1 : 0);
            return 0;
        }
        case WM_CHAR:
        case WM_SYSCHAR:
            Say("char 0x%02x sys=%d", static_cast<unsigned>(wParam), message == WM_SYSCHAR ? 1 : 0);
            return 0;
        case WM_ACTIVATE:
            Say("active %d t=%lld", LOWORD(wParam) != WA_INACTIVE ? 1 : 0, Microseconds());
            break;
        case WM_SIZE:
            Say("size %s", wParam == SIZE_MINIMIZED   ? "minimized"
                           : wParam == SIZE_MAXIMIZED ? "maximized"
                                                      : "normal");
            break;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

// Answers each line on standard input with the clock; ends the program when the
// test's end of the pipe closes.
DWORD WINAPI WatchInput(void*) {
    char buffer[64];
    DWORD got = 0;
    const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    while (::ReadFile(in, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got; ++i) {
            if (buffer[i] == '\n') {
                Say("clock t=%lld", Microseconds());
                ::SetEvent(gLineRead);
            }
        }
    }
    ::SetEvent(gLineRead);
    ::PostMessageW(gWindow, WM_CLOSE, 0, 0);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs(
            "usage: win32_keytarget CLASS [--minimized|--maximized] [--foreground] [--busy] "
            "[--layered] [--title TEXT]\n",
            stderr);
        return 2;
    }
    ::QueryPerformanceFrequency(&gFrequency);
    const std::wstring className = argv[1];
    std::wstring title = className;
    int show = SW_SHOWNORMAL;
    bool foreground = false;
    bool layered = false;
    gLineRead = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    for (int i = 2; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--minimized") {
            show = SW_SHOWMINNOACTIVE;  // minimised, and the window in front stays there
        } else if (arg == L"--maximized") {
            show = SW_SHOWMAXIMIZED;
        } else if (arg == L"--foreground") {
            foreground = true;
        } else if (arg == L"--title" && i + 1 < argc) {
            title = argv[++i];
        } else if (arg == L"--busy") {
            gBusy = true;
        } else if (arg == L"--layered") {
            layered = true;
        }
    }

    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = className.c_str();
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    if (!::RegisterClassW(&wc)) {
        return 1;
    }
    gWindow = ::CreateWindowExW(layered ? WS_EX_LAYERED : 0, className.c_str(), title.c_str(),
                                WS_OVERLAPPEDWINDOW, 100, 100, 320, 200, nullptr, nullptr,
                                wc.hInstance, nullptr);
    if (gWindow == nullptr) {
        return 1;
    }
    if (layered) {
        ::SetLayeredWindowAttributes(gWindow, 0, 255, LWA_ALPHA);
    }
    ::ShowWindow(gWindow, show);
    ::UpdateWindow(gWindow);
    if (foreground) {
        ::SetForegroundWindow(gWindow);
    }
    Say("ready hwnd=0x%llx pid=%lu",
        static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(gWindow)),
        ::GetCurrentProcessId());
    ::CloseHandle(::CreateThread(nullptr, 0, WatchInput, nullptr, 0, nullptr));

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
