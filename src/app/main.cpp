// quorvane: the program's entry. Parses the command line, makes sure only one
// instance runs per user, chooses the backends, creates the main window and
// runs its start-up, and ends when the window is unloaded (tray menu "終了",
// closing the window, SIGTERM or SIGINT).

#include <QApplication>
#include <QSocketNotifier>
#include <QSystemTrayIcon>

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/AppIcon.h"
#include "app/Backends.h"
#include "app/CommandLine.h"
#include "app/InstanceLock.h"
#include "app/core/Application.h"
#include "app/core/RunProgram.h"
#include "app/linux/XdgAutostart.h"
#include "app/qt/QtGuiThread.h"
#include "app/qt/QtMainWindow.h"
#include "app/qt/QtTranslations.h"
#include "common/Clock.h"
#include "common/DebugLog.h"
#include "config/IniStore.h"
#include "config/linux/IconvTextCodec.h"
#include "config/linux/PosixConfigFiles.h"
#include "shell/qt/QtScreenGeometry.h"
#include "shell/qt/QtTrayIcon.h"

namespace qv {

// Said at start-up when the session shows no tray icons.
constexpr const char* kNoTrayNotice =
    "this session has no notification area (tray) for the program's icon, so its window "
    "stays open. On GNOME, install and enable the AppIndicator extension "
    "(gnome-shell-extension-appindicator: 'gnome-extensions enable "
    "ubuntu-appindicators@ubuntu.com', then log in again) to keep the program in the tray.";

}  // namespace qv

namespace {

// SIGTERM and SIGINT arrive through a signalfd read by the event loop, so the
// exit steps run on the GUI thread like any other unload.
class TerminationSignals {
public:
    TerminationSignals() {
        sigemptyset(&mask_);
        sigaddset(&mask_, SIGTERM);
        sigaddset(&mask_, SIGINT);
        // Blocked before any thread starts, so every thread inherits the mask.
        if (pthread_sigmask(SIG_BLOCK, &mask_, nullptr) != 0) {
            qv::DebugLog("pthread_sigmask failed; SIGTERM ends the program without its exit steps");
            return;
        }
        fd_ = signalfd(-1, &mask_, SFD_CLOEXEC | SFD_NONBLOCK);
        if (fd_ < 0) {
            qv::DebugLogErrno("signalfd", errno);
            pthread_sigmask(SIG_UNBLOCK, &mask_, nullptr);
        }
    }
    ~TerminationSignals() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    int Fd() const { return fd_; }
    // Empties the descriptor; true when a signal was read.
    bool Drain() {
        signalfd_siginfo info{};
        bool any = false;
        while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            any = true;
        }
        return any;
    }

private:
    sigset_t mask_{};
    int fd_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string programName = "quorvane";
    const std::vector<std::string> args(argv + 1, argv + argc);
    const qv::CommandLineResult parsed = qv::ParseCommandLine(args, programName);
    if (parsed.action == qv::CommandLineResult::Action::Exit) {
        std::fputs(parsed.output.c_str(), stdout);
        std::fputs(parsed.error.c_str(), stderr);
        return parsed.exitCode;
    }
    const qv::CommandLine& options = parsed.options;
    if (options.autostart) {
        return qv::RunAutostartOption(*options.autostart, options.configPath, programName);
    }
    qv::SetDebugLog(options.debug);

    // One instance per user: a second start ends here, before it reads the
    // file or opens the receiver.
    const qv::InstanceLock lock(qv::InstanceLock::DefaultPath());
    if (!qv::FirstInstance(lock.HeldByOther(), lock.Held())) {
        return 0;
    }

    // The configuration path must be a regular file, a link to one, or not
    // there yet: a device, FIFO, socket or folder is refused before anything
    // opens it. A temporary file an interrupted write left goes here.
    if (const std::optional<std::string> refusal = qv::PrepareConfigPath(options.configPath)) {
        std::fprintf(stderr, "%s: %s\n", programName.c_str(), refusal->c_str());
        return 1;
    }

    TerminationSignals termination;
    // The backends come first: without an X display the program says so and
    // ends, where Qt would abort.
    std::string error;
    std::optional<qv::Backends> backends = qv::MakeBackends(options, error);
    if (!backends) {
        std::fprintf(stderr, "%s: %s\n", programName.c_str(), error.c_str());
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("quorvane"));
    // Qt's standard buttons (はい/いいえ on a Japanese desktop) in the desktop's language.
    qv::LoadQtTranslations(app);

    qv::IniStore ini(std::make_unique<qv::IconvTextCodec>(),
                     std::make_unique<qv::PosixConfigFiles>());
    if (!options.configPath.empty()) {
        ini.SetIniPath(options.configPath);
    }
    qv::DebugLog("configuration: " + ini.IniPath());

    const QIcon icon = qv::MakeAppIcon();
    QApplication::setWindowIcon(icon);
    qv::SteadyClock clock;

    int rc = 0;
    {
        qv::QtMainWindow form;
        form.setWindowIcon(icon);
        form.SetKeyboardLayout(backends->layout.get());
        qv::QtGuiThread gui(&form);
        qv::QtTrayIcon tray(icon);
        qv::QtScreenGeometry geometry;
        geometry.SetWindow(&form);
        geometry.SetTrayIcon(&tray);

        qv::Application core(qv::AppPorts{form, gui, ini, *backends->hid, *backends->deviceEvents,
                                          *backends->injector, *backends->windows, tray, geometry,
                                          clock});
        form.Bind(&core);
        if (options.debug) {
            core.SetReceiveLog(
                [](const std::string& line) { qv::DebugLog("receive-list: " + line); });
        }

        std::unique_ptr<QSocketNotifier> signalNotifier;
        if (termination.Fd() >= 0) {
            signalNotifier =
                std::make_unique<QSocketNotifier>(termination.Fd(), QSocketNotifier::Read);
            QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, &form,
                             [termination = &termination, core = &core] {
                                 if (termination->Drain()) {
                                     qv::DebugLog("termination signal; unloading");
                                     core->Terminate();
                                 }
                             });
        }

        // Without a notification area (plain GNOME has none) the program
        // has no icon to open its window from: the window opens at once.
        const bool noTray = backends->trayMayBeMissing && !QSystemTrayIcon::isSystemTrayAvailable();
        qv::ProgramRun run;
        run.show = options.show || noTray;
        run.tab = options.tab;
        run.loaded = [&programName, noTray] {
            if (noTray) {
                std::fprintf(stderr, "%s: %s\n", programName.c_str(), qv::kNoTrayNotice);
                qv::DebugLog("no tray host: the window opens at start-up");
            }
        };
        run.eventLoop = [] { return QApplication::exec(); };
        run.detach = [&form] { form.Bind(nullptr); };
        rc = qv::RunProgram(core, run);
    }
    return rc;
}
