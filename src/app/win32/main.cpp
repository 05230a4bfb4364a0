// quorvane.exe: the program's entry on Windows. Parses the command line, makes
// sure only one instance runs in the session, chooses the backends, creates
// the main window and runs its start-up, and ends when the window is unloaded
// (tray menu "終了", closing the window, the session ending, Ctrl+C in the
// console it was started from).

#include "common/win32/Windows.h"

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/core/Application.h"
#include "app/core/RunProgram.h"
#include "app/win32/Dpi.h"
#include "app/win32/MessageLoop.h"
#include "app/win32/SingleInstance.h"
#include "app/win32/StartupShortcut.h"
#include "app/win32/Win32AppIcon.h"
#include "app/win32/Win32Backends.h"
#include "app/win32/Win32GuiThread.h"
#include "app/win32/Win32MainWindow.h"
#include "common/Clock.h"
#include "common/DebugLog.h"
#include "common/win32/Utf8Console.h"
#include "common/win32/WideText.h"
#include "config/IniStore.h"
#include "config/win32/Win32ConfigFiles.h"
#include "config/win32/Win32TextCodec.h"
#include "shell/win32/Win32ScreenGeometry.h"
#include "shell/win32/Win32TrayIcon.h"

namespace {

bool UsableHandle(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// A window program has no console of its own. Output that was redirected
// (a file, a pipe) arrives as it is; otherwise the output goes to the console
// of the program that started this one, if there is one.
void ConnectStandardStreams() {
    if (!UsableHandle(::GetStdHandle(STD_ERROR_HANDLE)) ||
        !UsableHandle(::GetStdHandle(STD_OUTPUT_HANDLE))) {
        if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
            if (!UsableHandle(::GetStdHandle(STD_ERROR_HANDLE))) {
                (void)std::freopen("CONOUT$", "w", stderr);
            }
            if (!UsableHandle(::GetStdHandle(STD_OUTPUT_HANDLE))) {
                (void)std::freopen("CONOUT$", "w", stdout);
            }
        }
    }
    // The C runtime buffers a standard stream that is a file or a pipe; debug
    // lines must be there at once (scripts wait for them).
    std::setvbuf(stderr, nullptr, _IONBF, 0);
}

// Ctrl+C or Ctrl+Break in the console the program was started from (and the
// console closing) run the exit steps on the GUI thread, as "終了" does.
// Windows calls the handler on a thread of its own, hence the atomic.
std::atomic<HWND> gWindowForConsole{nullptr};
BOOL WINAPI ConsoleControl(DWORD /*event*/) {
    if (const HWND window = gWindowForConsole.load(); window != nullptr) {
        ::PostMessageW(window, qv::kTerminateMessage, 0, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int main() {
    const std::string programName = "quorvane";
    const qv::CommandLineResult parsed = qv::ParseCommandLine(
        [] {
            std::vector<std::string> args = qv::win32::Utf8Arguments();
            if (!args.empty()) {
                args.erase(args.begin());  // the program's name
            }
            return args;
        }(),
        programName);
    if (parsed.action == qv::CommandLineResult::Action::Exit) {
        ConnectStandardStreams();
        std::fputs(parsed.output.c_str(), stdout);
        std::fputs(parsed.error.c_str(), stderr);
        return parsed.exitCode;
    }
    const qv::CommandLine& options = parsed.options;
    if (options.autostart) {
        ConnectStandardStreams();
        return qv::RunAutostartOption(*options.autostart, options.configPath, programName);
    }
    if (options.debug) {
        ConnectStandardStreams();
    }
    qv::SetDebugLog(options.debug);

    // One instance per session: a second start ends here, before it reads the
    // file or opens the receiver.
    const qv::SingleInstance instance;
    if (!qv::FirstInstance(instance.HeldByOther(), instance.Held())) {
        return 0;
    }

    // The configuration path must be a plain file or not there yet: a folder, a
    // device (NUL, CON, ...) or a pipe is refused before anything opens it. A
    // temporary file an interrupted write left goes here.
    if (const std::optional<std::string> refusal = qv::PrepareConfigPath(options.configPath)) {
        std::fprintf(stderr, "%s: %s\n", programName.c_str(), refusal->c_str());
        ::MessageBoxW(nullptr, qv::win32::Utf8ToWide(*refusal).c_str(), L"Quorvane",
                      MB_OK | MB_ICONERROR);
        return 1;
    }

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_TAB_CLASSES | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);

    const qv::IconHandle bigIcon = qv::MakeAppIcon(::GetSystemMetrics(SM_CXICON));
    const qv::IconHandle smallIcon = qv::MakeAppIcon(::GetSystemMetrics(SM_CXSMICON));

    int rc = 0;
    {
        qv::Win32MainWindow form(bigIcon.Get(), smallIcon.Get());
        if (form.Hwnd() == nullptr) {
            std::fprintf(stderr, "%s: cannot create the window\n", programName.c_str());
            return 1;
        }
        qv::DebugLog(std::string("DPI: ") + std::to_string(form.Dpi()) +
                     (qv::PerMonitorDpiAware() ? ", aware of each monitor's DPI"
                                               : ", not aware of each monitor's DPI"));
        qv::Win32GuiThread gui;
        std::string error;
        std::optional<qv::Win32Backends> backends = qv::MakeWin32Backends(options, error);
        if (!backends) {
            std::fprintf(stderr, "%s: %s\n", programName.c_str(), error.c_str());
            return 1;
        }

        qv::IniStore ini(std::make_unique<qv::Win32TextCodec>(),
                         std::make_unique<qv::Win32ConfigFiles>());
        if (!options.configPath.empty()) {
            ini.SetIniPath(options.configPath);
        }
        // New files, and files that hold only ASCII, are in the ANSI code page, so
        // Windows' own tools read the program's text as it wrote it.
        ini.SetPlainTextEncoding(qv::TextEncoding::ShiftJis);
        // The file read: beside the program in a folder that cannot be
        // written, it is read until the first change copies it to the INI path.
        const std::string fileInUse = ini.FileInUse();
        qv::DebugLog("configuration: " + fileInUse +
                     (fileInUse == ini.IniPath()
                          ? std::string()
                          : " (its folder cannot be written: the first change goes into a copy, " +
                                ini.IniPath() + ")"));
        form.SetFileInUse(fileInUse);
        ini.SetFileInUseChanged([&gui, &form](const std::string& path) {
            gui.Post([&form, path] { form.SetFileInUse(path); });
        });

        qv::SteadyClock clock;
        qv::Win32TrayIcon tray(form.Hwnd(), smallIcon.Get());
        qv::Win32ScreenGeometry geometry(form.Hwnd());

        qv::Application core(qv::AppPorts{form, gui, ini, *backends->hid, *backends->deviceEvents,
                                          *backends->injector, *backends->windows, tray, geometry,
                                          clock});
        form.Bind(&core);
        if (options.debug) {
            core.SetReceiveLog(
                [](const std::string& line) { qv::DebugLog("receive-list: " + line); });
        }
        gWindowForConsole.store(form.Hwnd());
        ::SetConsoleCtrlHandler(&ConsoleControl, TRUE);

        qv::ProgramRun run;
        run.show = options.show;
        run.tab = options.tab;
        run.eventLoop = [&form] { return qv::RunMessageLoop(form.Hwnd()); };
        run.detach = [&form] {
            ::SetConsoleCtrlHandler(&ConsoleControl, FALSE);
            gWindowForConsole.store(nullptr);
            form.Bind(nullptr);
        };
        rc = qv::RunProgram(core, run);
    }
    return rc;
}
