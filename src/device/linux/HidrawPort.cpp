#include "device/linux/HidrawPort.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <libudev.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <system_error>
#include <utility>

#include "common/Deadline.h"
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

// What the device and its write thread share. Jobs are numbered: the thread is
// idle when every posted job has finished.
struct HidrawDevice::Shared {
    explicit Shared(UniqueFd descriptor) : fd(std::move(descriptor)) {}

    const UniqueFd fd;
    std::mutex mutex;
    std::condition_variable posted;    // a job was posted, or the device closes
    std::condition_variable finished;  // the running job returned
    std::vector<std::uint8_t> report;  // the posted job's own copy of the report
    Clock::time_point deadline;        // for the EAGAIN wait of the posted job
    std::uint64_t postedJobs = 0;
    std::uint64_t finishedJobs = 0;
    std::uint64_t abandonedJob = 0;                // the last job whose caller gave up
    TransferStatus result = TransferStatus::Done;  // of the last finished job
    bool running = false;                          // a job is inside write() or poll()
    bool closing = false;                          // the device is gone; take no further job

    bool Idle() const { return postedJobs == finishedJobs; }

    // Writes job `job`, waiting for room with poll() when the descriptor says
    // EAGAIN; a report that found no room before its caller gave up is not
    // written afterwards. A hidraw node on usbhid blocks in write() instead,
    // for as long as the USB transfer takes.
    TransferStatus Write(std::span<const std::uint8_t> report, Clock::time_point deadline,
                         std::uint64_t job) {
        for (;;) {
            const ssize_t n = ::write(fd.Get(), report.data(), report.size());
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
            const TransferStatus ready = WaitReady(fd.Get(), POLLOUT, deadline);
            if (ready != TransferStatus::Done) {
                return ready;
            }
            const std::lock_guard lock(mutex);
            if (abandonedJob == job) {
                return TransferStatus::TimedOut;
            }
        }
    }
};

HidrawDevice::HidrawDevice(UniqueFd fd) : shared_(std::make_shared<Shared>(std::move(fd))) {
    int size = 0;
    if (::ioctl(Fd(), HIDIOCGRDESCSIZE, &size) < 0) {
        DebugLogErrno("ioctl(HIDIOCGRDESCSIZE)", errno);
        return;
    }
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<std::uint32_t>(std::clamp(size, 0, HID_MAX_DESCRIPTOR_SIZE));
    if (::ioctl(Fd(), HIDIOCGRDESC, &descriptor) < 0) {
        DebugLogErrno("ioctl(HIDIOCGRDESC)", errno);
        return;
    }
    UseDescriptor(std::span<const std::uint8_t>(descriptor.value, descriptor.size));
}

HidrawDevice::HidrawDevice(UniqueFd fd, std::span<const std::uint8_t> reportDescriptor)
    : shared_(std::make_shared<Shared>(std::move(fd))) {
    UseDescriptor(reportDescriptor);
}

HidrawDevice::~HidrawDevice() {
    if (!writer_.joinable()) {
        return;
    }
    bool stuck = false;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->closing = true;
        stuck = shared_->running;
    }
    shared_->posted.notify_one();
    if (stuck) {
        // Waiting would hold the caller for the rest of the kernel's USB
        // timeout; the thread ends by itself once the write returns and
        // closes the node with its reference.
        DebugLog("hidraw: closing with a write still outstanding");
        writer_.detach();
    } else {
        writer_.join();  // idle: it sees `closing` and ends at once
    }
}

int HidrawDevice::Fd() const {
    return shared_->fd.Get();
}

void HidrawDevice::UseDescriptor(std::span<const std::uint8_t> reportDescriptor) {
    const std::optional<ReportLengths> lengths = ParseReportLengths(reportDescriptor);
    if (!lengths) {
        DebugLog("report descriptor: malformed");
        return;
    }
    caps_ = HidCaps{lengths->input, lengths->output};
    numbered_ = lengths->numbered;
}

std::optional<HidAttributes> HidrawDevice::GetAttributes() {
    hidraw_devinfo info{};
    if (::ioctl(Fd(), HIDIOCGRAWINFO, &info) < 0) {
        DebugLogErrno("ioctl(HIDIOCGRAWINFO)", errno);
        return std::nullopt;
    }
    // The kernel declares both fields signed 16-bit; the bits are the USB identifiers.
    return HidAttributes{static_cast<std::uint16_t>(info.vendor),
                         static_cast<std::uint16_t>(info.product)};
}

std::optional<HidCaps> HidrawDevice::GetCaps() {
    return caps_;
}

TransferStatus HidrawDevice::WriteReport(std::span<const std::uint8_t> report,
                                         std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    Shared& shared = *shared_;
    std::unique_lock lock(shared.mutex);
    // A write that timed out before may still be inside the kernel; a second
    // one must not overtake it.
    if (!shared.finished.wait_until(lock, deadline, [&shared] { return shared.Idle(); })) {
        DebugLog("write: the previous report is still being written");
        return TransferStatus::TimedOut;
    }
    if (!writer_.joinable()) {
        try {
            writer_ = std::thread(RunWriter, shared_);
        } catch (const std::system_error& e) {
            DebugLogErrno("pthread_create", e.code().value());
            return TransferStatus::Failed;
        }
    }
    shared.report.assign(report.begin(), report.end());
    shared.deadline = deadline;
    const std::uint64_t job = ++shared.postedJobs;
    shared.posted.notify_one();
    if (!shared.finished.wait_until(lock, deadline,
                                    [&shared, job] { return shared.finishedJobs >= job; })) {
        shared.abandonedJob = job;
        DebugLog("write: timed out");
        return TransferStatus::TimedOut;
    }
    return shared.result;
}

TransferStatus HidrawDevice::ReadReport(std::span<std::uint8_t> report,
                                        std::chrono::milliseconds timeout) {
    if (report.empty()) {
        return TransferStatus::Failed;
    }
    const Clock::time_point deadline = Clock::now() + timeout;
    // hidraw hands unnumbered reports over without an ID byte; put the 0 ID
    // in front so that callers see the same layout as for numbered reports.
    const std::span<std::uint8_t> target = numbered_ ? report : report.subspan(1);
    for (;;) {
        const TransferStatus ready = WaitReady(Fd(), POLLIN, deadline);
        if (ready != TransferStatus::Done) {
            return ready;
        }
        const ssize_t n = ::read(Fd(), target.data(), target.size());
        if (n > 0) {
            if (!numbered_) {
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

// The thread holds its own reference to the shared part, so the descriptor
// stays open until its last write has returned.
void HidrawDevice::RunWriter(std::shared_ptr<Shared> shared) {
    std::unique_lock lock(shared->mutex);
    for (;;) {
        shared->posted.wait(lock, [&shared] { return shared->closing || !shared->Idle(); });
        if (shared->closing) {
            return;  // a job posted but not started is dropped with the device
        }
        const std::vector<std::uint8_t> report = std::move(shared->report);
        const Clock::time_point deadline = shared->deadline;
        const std::uint64_t job = shared->postedJobs;
        shared->running = true;
        lock.unlock();
        const TransferStatus result = shared->Write(report, deadline, job);
        lock.lock();
        shared->running = false;
        shared->result = result;
        ++shared->finishedJobs;
        shared->finished.notify_all();
    }
}

const char* const kHidrawAccessAdvice =
    "受信機の udev ルールを入れて、受信機を挿し直してください（パッケージは "
    "/usr/lib/udev/rules.d/70-quorvane-receiver.rules に入れます。ソースからなら sudo cp "
    "packaging/70-quorvane-receiver.rules /etc/udev/rules.d/ と sudo udevadm control "
    "--reload）。識別子を変えたときは、ルールの識別子も合わせてください。";

std::optional<HidAttributes> HidIdFromUevent(std::string_view uevent) {
    constexpr std::string_view kKey = "HID_ID=";
    while (!uevent.empty()) {
        const std::size_t end = uevent.find('\n');
        std::string_view line = uevent.substr(0, end);
        uevent = end == std::string_view::npos ? std::string_view() : uevent.substr(end + 1);
        if (line.substr(0, kKey.size()) != kKey) {
            continue;
        }
        line.remove_prefix(kKey.size());
        // bus:vendor:product, each in hexadecimal.
        std::array<unsigned long, 3> fields{};
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const auto [next, error] =
                std::from_chars(line.data(), line.data() + line.size(), fields[i], 16);
            if (error != std::errc() || next == line.data()) {
                return std::nullopt;
            }
            line.remove_prefix(static_cast<std::size_t>(next - line.data()));
            if (i + 1 < fields.size()) {
                if (line.empty() || line.front() != ':') {
                    return std::nullopt;
                }
                line.remove_prefix(1);
            }
        }
        if (!line.empty() || fields[1] > 0xFFFF || fields[2] > 0xFFFF) {
            return std::nullopt;
        }
        return HidAttributes{static_cast<std::uint16_t>(fields[1]),
                             static_cast<std::uint16_t>(fields[2])};
    }
    return std::nullopt;
}

HidrawPort::HidrawPort() : useUdev_(true), sysRoot_("/sys"), devRoot_("/dev") {}

HidrawPort::HidrawPort(std::string sysRoot, std::string devRoot, OpenNode open)
    : useUdev_(false),
      sysRoot_(std::move(sysRoot)),
      devRoot_(std::move(devRoot)),
      open_(std::move(open)) {}

std::vector<std::string> HidrawPort::EnumerateHidInterfaces() {
    if (useUdev_) {
        return EnumerateWithUdev();
    }
    return EnumerateSysfs(sysRoot_, devRoot_);
}

std::vector<std::string> HidrawPort::EnumerateWithUdev() {
    UdevPtr<udev> context(udev_new());
    if (!context) {
        DebugLogErrno("udev_new", errno);
        return EnumerateSysfs(sysRoot_, devRoot_);
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
    return TryOpen(path).device;
}

HidOpenResult HidrawPort::TryOpen(const std::string& path) {
    constexpr int kFlags = O_RDWR | O_CLOEXEC | O_NONBLOCK;
    const int fd = open_ ? open_(path, kFlags) : ::open(path.c_str(), kFlags);
    HidOpenResult result;
    if (fd >= 0) {
        result.device = std::make_unique<HidrawDevice>(UniqueFd(fd));
        return result;
    }
    const int err = errno;
    DebugLogErrno("open(" + path + ")", err);
    result.error.reason = std::generic_category().message(err);
    switch (err) {
        case EACCES:
        case EPERM:
            result.error.kind = HidOpenFailure::AccessDenied;
            result.error.advice = kHidrawAccessAdvice;
            break;
        case EBUSY:
            result.error.kind = HidOpenFailure::InUse;
            break;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            result.error.kind = HidOpenFailure::Gone;
            break;
        default:
            result.error.kind = HidOpenFailure::Other;
            break;
    }
    return result;
}

std::optional<HidAttributes> HidrawPort::ReadIdentity(const std::string& path) {
    namespace fs = std::filesystem;
    // The node's class entry links to the hidraw device, whose "device" is the
    // HID device that carries the identifiers.
    const fs::path uevent =
        fs::path(sysRoot_) / "class" / "hidraw" / fs::path(path).filename() / "device" / "uevent";
    std::ifstream in(uevent);
    if (!in) {
        DebugLog("no identifiers for " + path + " (" + uevent.string() + ")");
        return std::nullopt;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return HidIdFromUevent(text);
}

}  // namespace qv
