#include "device/linux/HidrawPort.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <libudev.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

#include "common/DebugLog.h"
#include "device/ReportDescriptor.h"

namespace qv {
namespace {

using Clock = std::chrono::steady_clock;

// Owners for the libudev objects of one enumeration.
struct UdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

struct Node {
    std::string syspath;
    std::string devnode;
};

std::vector<std::string> SortedNodes(std::vector<Node> nodes) {
    std::sort(nodes.begin(), nodes.end(),
              [](const Node& a, const Node& b) { return a.syspath < b.syspath; });
    std::vector<std::string> paths;
    paths.reserve(nodes.size());
    for (Node& node : nodes) {
        paths.push_back(std::move(node.devnode));
    }
    return paths;
}

// DEVNAME from a sysfs uevent file; empty when it has none.
std::string DevNameFromUevent(const std::filesystem::path& uevent) {
    std::ifstream in(uevent);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("DEVNAME=", 0) == 0) {
            return line.substr(8);
        }
    }
    return {};
}

// Milliseconds left until `deadline` for poll(), never negative.
int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

bool IsGoneErrno(int err) {
    // hidraw answers ENODEV once the device is unplugged, EIO when the
    // transfer broke off with it. EPIPE is a stalled endpoint: the device
    // is still there.
    return err == EIO || err == ENODEV;
}

// Waits until `fd` is ready for `events` or the deadline passes.
TransferStatus WaitReady(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, RemainingMs(deadline));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            DebugLogErrno("poll", errno);
            return TransferStatus::Failed;
        }
        if (n == 0) {
            if (Clock::now() >= deadline) {
                return TransferStatus::TimedOut;
            }
            continue;
        }
        // A report that came in before the device went away is still
        // handed over; the next read then finds the device gone.
        if ((events & POLLIN) && (p.revents & POLLIN)) {
            return TransferStatus::Done;
        }
        if (p.revents & (POLLHUP | POLLERR)) {
            DebugLog("poll: device gone");
            return TransferStatus::Gone;
        }
        if (p.revents & POLLNVAL) {
            DebugLog("poll: descriptor not open");
            return TransferStatus::Failed;
        }
        return TransferStatus::Done;
    }
}

}  // namespace

UniqueFd::~UniqueFd() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = other.Release();
    }
    return *this;
}

int UniqueFd::Release() {
    return std::exchange(m_fd, -1);
}

HidrawDevice::HidrawDevice(UniqueFd fd) : m_fd(std::move(fd)) {
    int size = 0;
    if (::ioctl(m_fd.Get(), HIDIOCGRDESCSIZE, &size) < 0) {
        DebugLogErrno("ioctl(HIDIOCGRDESCSIZE)", errno);
        return;
    }
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<std::uint32_t>(std::clamp(size, 0, HID_MAX_DESCRIPTOR_SIZE));
    if (::ioctl(m_fd.Get(), HIDIOCGRDESC, &descriptor) < 0) {
        DebugLogErrno("ioctl(HIDIOCGRDESC)", errno);
        return;
    }
    UseDescriptor(std::span<const std::uint8_t>(descriptor.value, descriptor.size));
}

HidrawDevice::HidrawDevice(UniqueFd fd, std::span<const std::uint8_t> reportDescriptor)
    : m_fd(std::move(fd)) {
    UseDescriptor(reportDescriptor);
}

void HidrawDevice::UseDescriptor(std::span<const std::uint8_t> reportDescriptor) {
    const std::optional<ReportLengths> lengths = ParseReportLengths(reportDescriptor);
    if (!lengths) {
        DebugLog("report descriptor: malformed");
        return;
    }
    m_caps = HidCaps{lengths->Input, lengths->Output};
    m_numbered = lengths->Numbered;
}

std::optional<HidAttributes> HidrawDevice::GetAttributes() {
    hidraw_devinfo info{};
    if (::ioctl(m_fd.Get(), HIDIOCGRAWINFO, &info) < 0) {
        DebugLogErrno("ioctl(HIDIOCGRAWINFO)", errno);
        return std::nullopt;
    }
    // The kernel declares both fields signed 16-bit; the bits are the USB identifiers.
    return HidAttributes{static_cast<std::uint16_t>(info.vendor),
                         static_cast<std::uint16_t>(info.product)};
}

std::optional<HidCaps> HidrawDevice::GetCaps() {
    return m_caps;
}

TransferStatus HidrawDevice::WriteReport(std::span<const std::uint8_t> report,
                                         std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        const ssize_t n = ::write(m_fd.Get(), report.data(), report.size());
        if (n >= 0) {
            if (static_cast<std::size_t>(n) != report.size()) {
                DebugLog("write: report only partly written");
                return TransferStatus::Failed;
            }
            return TransferStatus::Done;
        }
        const int err = errno;
        if (err == EINTR) {
            continue;
        }
        if (err != EAGAIN && err != EWOULDBLOCK) {
            DebugLogErrno("write", err);
            return IsGoneErrno(err) ? TransferStatus::Gone : TransferStatus::Failed;
        }
        const TransferStatus ready = WaitReady(m_fd.Get(), POLLOUT, deadline);
        if (ready != TransferStatus::Done) {
            return ready;
        }
    }
}

TransferStatus HidrawDevice::ReadReport(std::span<std::uint8_t> report,
                                        std::chrono::milliseconds timeout) {
    if (report.empty()) {
        return TransferStatus::Failed;
    }
    const Clock::time_point deadline = Clock::now() + timeout;
    // hidraw hands unnumbered reports over without an ID byte; put the 0 ID
    // in front so that callers see the same layout as for numbered reports.
    const std::span<std::uint8_t> target = m_numbered ? report : report.subspan(1);
    for (;;) {
        const TransferStatus ready = WaitReady(m_fd.Get(), POLLIN, deadline);
        if (ready != TransferStatus::Done) {
            return ready;
        }
        const ssize_t n = ::read(m_fd.Get(), target.data(), target.size());
        if (n > 0) {
            if (!m_numbered) {
                report[0] = 0;
            }
            return TransferStatus::Done;
        }
        if (n == 0) {
            DebugLog("read: end of file, device gone");
            return TransferStatus::Gone;
        }
        const int err = errno;
        if (err == EINTR || err == EAGAIN || err == EWOULDBLOCK) {
            continue;
        }
        DebugLogErrno("read", err);
        return IsGoneErrno(err) ? TransferStatus::Gone : TransferStatus::Failed;
    }
}

HidrawPort::HidrawPort() : m_useUdev(true), m_sysRoot("/sys"), m_devRoot("/dev") {}

HidrawPort::HidrawPort(std::string sysRoot, std::string devRoot)
    : m_useUdev(false), m_sysRoot(std::move(sysRoot)), m_devRoot(std::move(devRoot)) {}

std::vector<std::string> HidrawPort::EnumerateHidInterfaces() {
    if (m_useUdev) {
        return EnumerateWithUdev();
    }
    return EnumerateSysfs(m_sysRoot, m_devRoot);
}

std::vector<std::string> HidrawPort::EnumerateWithUdev() {
    UdevPtr<udev> context(udev_new());
    if (!context) {
        DebugLogErrno("udev_new", errno);
        return EnumerateSysfs(m_sysRoot, m_devRoot);
    }
    UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(context.get()));
    if (!enumerate) {
        DebugLogErrno("udev_enumerate_new", errno);
        return {};
    }
    int rc = udev_enumerate_add_match_subsystem(enumerate.get(), "hidraw");
    if (rc < 0) {
        DebugLogErrno("udev_enumerate_add_match_subsystem", -rc);
        return {};
    }
    rc = udev_enumerate_scan_devices(enumerate.get());
    if (rc < 0) {
        DebugLogErrno("udev_enumerate_scan_devices", -rc);
        return {};
    }
    std::vector<Node> nodes;
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        const char* syspath = udev_list_entry_get_name(entry);
        if (syspath == nullptr) {
            continue;
        }
        UdevPtr<udev_device> device(udev_device_new_from_syspath(context.get(), syspath));
        if (!device) {
            DebugLogErrno("udev_device_new_from_syspath", errno);
            continue;
        }
        const char* devnode = udev_device_get_devnode(device.get());
        if (devnode == nullptr) {
            continue;  // no node to open
        }
        nodes.push_back({syspath, devnode});
    }
    return SortedNodes(std::move(nodes));
}

std::vector<std::string> HidrawPort::EnumerateSysfs(const std::string& sysRoot,
                                                    const std::string& devRoot) {
    namespace fs = std::filesystem;
    const fs::path classDir = fs::path(sysRoot) / "class" / "hidraw";
    std::error_code ec;
    fs::directory_iterator it(classDir, ec);
    if (ec) {
        // A system without any hidraw device has no such folder at all.
        if (ec != std::errc::no_such_file_or_directory) {
            DebugLogErrno("opendir(" + classDir.string() + ")", ec.value());
        }
        return {};
    }
    std::vector<Node> nodes;
    for (const fs::directory_entry& entry : it) {
        // The class folder holds links into the device tree; the resolved
        // path is the device's sysfs path, which gives the order.
        std::error_code resolveError;
        const fs::path syspath = fs::canonical(entry.path(), resolveError);
        if (resolveError) {
            DebugLogErrno("realpath(" + entry.path().string() + ")", resolveError.value());
            continue;
        }
        std::string name = DevNameFromUevent(syspath / "uevent");
        if (name.empty()) {
            name = entry.path().filename().string();
        }
        nodes.push_back({syspath.string(), (fs::path(devRoot) / name).string()});
    }
    return SortedNodes(std::move(nodes));
}

std::unique_ptr<HidDevice> HidrawPort::Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        DebugLogErrno("open(" + path + ")", errno);
        return nullptr;
    }
    return std::make_unique<HidrawDevice>(UniqueFd(fd));
}

}  // namespace qv
