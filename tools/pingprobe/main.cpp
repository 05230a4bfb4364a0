// quorvane-pingprobe: measures how quickly a window's client answers the
// window manager's _NET_WM_PING, which a client answers from its event loop.
// A client whose GUI thread is blocked answers late or not at all: that is
// what a window manager (and a user) sees as a frozen window.

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: quorvane-pingprobe --window ID [--count N] [--interval-ms MS] [--timeout-ms MS]\n"
    "\n"
    "Sends N (default 10) _NET_WM_PING messages to window ID (decimal or 0x hex),\n"
    "one every MS milliseconds (default 100), waiting at most --timeout-ms (default\n"
    "5000) for each answer. Prints one line per ping, \"rtt MILLISECONDS\" or\n"
    "\"rtt timeout\", then \"max MILLISECONDS\" (the slowest answer; a timeout\n"
    "counts as its full wait). Exits 0 when every ping was answered, 1 otherwise,\n"
    "2 on a usage error.\n";

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};

double NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Waits until the ping with `stamp` comes back to the root window, at most
// `timeoutMs`; its round trip in milliseconds, or a negative value on timeout.
double AwaitPong(Display* display, Atom protocols, Atom ping, unsigned long stamp, double sentAt,
                 double timeoutMs) {
    const int fd = ConnectionNumber(display);
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == ClientMessage && event.xclient.message_type == protocols &&
                static_cast<Atom>(event.xclient.data.l[0]) == ping &&
                static_cast<unsigned long>(event.xclient.data.l[1]) == stamp) {
                return NowMs() - sentAt;
            }
        }
        const double left = sentAt + timeoutMs - NowMs();
        if (left <= 0) {
            return -1;
        }
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, static_cast<int>(left) + 1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long window = 0;
    int count = 10;
    int intervalMs = 100;
    int timeoutMs = 5000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--window" && hasValue) {
            window = std::strtoul(argv[++i], nullptr, 0);
        } else if (arg == "--count" && hasValue) {
            count = std::atoi(argv[++i]);
        } else if (arg == "--interval-ms" && hasValue) {
            intervalMs = std::atoi(argv[++i]);
        } else if (arg == "--timeout-ms" && hasValue) {
            timeoutMs = std::atoi(argv[++i]);
        } else if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (window == 0 || count < 1 || intervalMs < 0 || timeoutMs < 1) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display) {
        std::fputs("quorvane-pingprobe: cannot open the display\n", stderr);
        return 1;
    }
    Display* d = display.get();
    const Window root = DefaultRootWindow(d);
    const Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
    const Atom ping = XInternAtom(d, "_NET_WM_PING", False);
    // Answers go to the root window; clients send them for structure or
    // substructure notification (toolkits differ).
    XSelectInput(d, root, StructureNotifyMask | SubstructureNotifyMask);

    double worst = 0;
    bool allAnswered = true;
    for (int n = 0; n < count; ++n) {
        const unsigned long stamp = 1000 + static_cast<unsigned long>(n);
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = protocols;
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(ping);
        event.xclient.data.l[1] = static_cast<long>(stamp);
        event.xclient.data.l[2] = static_cast<long>(window);
        const double sentAt = NowMs();
        XSendEvent(d, window, False, NoEventMask, &event);
        XFlush(d);
        const double rtt = AwaitPong(d, protocols, ping, stamp, sentAt, timeoutMs);
        if (rtt < 0) {
            std::printf("rtt timeout\n");
            allAnswered = false;
            worst = std::max(worst, static_cast<double>(timeoutMs));
        } else {
            std::printf("rtt %.1f\n", rtt);
            worst = std::max(worst, rtt);
        }
        std::fflush(stdout);
        const double next = sentAt + intervalMs;
        while (NowMs() < next) {
            timespec pause{0, 1000000};
            nanosleep(&pause, nullptr);
        }
    }
    std::printf("max %.1f\n", worst);
    return allAnswered ? 0 : 1;
}
