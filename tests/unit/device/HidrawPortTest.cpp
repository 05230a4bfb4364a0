// The hidraw backend through its own code: enumeration over a fake sysfs
// tree, transfers over SOCK_SEQPACKET socket pairs (which keep report
// boundaries as hidraw does), identity ioctls against descriptors that are
// not hidraw nodes. Blocking pairs with a full send buffer stand in for a
// receiver that takes no report while usbhid holds the write in the kernel.

#include "device/linux/HidrawPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <thread>
#include <vector>

#include "FakeSysfs.h"
#include "device/HidTransport.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// True once thread `tid` of this process sits in one of `calls` (x86-64 and
// other Linux system call numbers as the kernel shows them), so a test can act
// while a transfer is really waiting instead of after a guessed sleep. The 20 s
// limit only turns a hang into a failure.
bool WaitUntilBlockedIn(pid_t tid, std::initializer_list<long> calls) {
    const std::string path = "/proc/self/task/" + std::to_string(tid) + "/syscall";
    const auto limit = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < limit) {
        std::ifstream in(path);
        long nr = -1;
        if (in >> nr) {
            for (long call : calls) {
                if (nr == call) {
                    return true;
                }
            }
        }
        std::this_thread::sleep_for(milliseconds(1));
    }
    return false;
}

pid_t ThisThread() {
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

// Unnumbered vendor reports, 64 bytes each way: 65 / 65 on Windows.
const Bytes kUnnumbered = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00,
                           0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x40, 0x09, 0x01,
                           0x81, 0x02, 0x09, 0x02, 0x91, 0x02, 0xC0};
// Report ID 0x10, six data bytes each way: 7 / 7.
const Bytes kNumbered = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x10, 0x75, 0x08,
                         0x95, 0x06, 0x09, 0x01, 0x81, 0x02, 0x09, 0x02, 0x91, 0x02, 0xC0};

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "qv-hidraw-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
        }
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

// Adds a hidraw device to a fake sysfs tree: the device folder under
// devices/ and the class link to it, as the kernel lays them out.
void AddSysfsNode(const fs::path& sys, const std::string& deviceDir, const std::string& name,
                  bool withUevent = true) {
    const fs::path dir = sys / "devices" / deviceDir / "hidraw" / name;
    fs::create_directories(dir);
    if (withUevent) {
        std::ofstream(dir / "uevent") << "MAJOR=241\nMINOR=0\nDEVNAME=" << name << "\n";
    }
    fs::create_directories(sys / "class" / "hidraw");
    fs::create_symlink(fs::relative(dir, sys / "class" / "hidraw"),
                       sys / "class" / "hidraw" / name);
}

// A connected pair: `device` becomes the backend's end, `peer` plays the device.
struct SocketPair {
    UniqueFd device;
    UniqueFd peer;
};

SocketPair MakePair() {
    int fds[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) {
        ADD_FAILURE() << "socketpair failed";
        return {};
    }
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    return {UniqueFd(fds[0]), UniqueFd(fds[1])};
}

// A pair whose backend end blocks in write() when the peer takes no more, as
// a hidraw node on usbhid does while the receiver does not answer, and has its
// send buffer already full.
struct StuckPair {
    UniqueFd device;
    UniqueFd peer;
    int queued = 0;  // filler reports waiting for the peer
};

StuckPair MakeStuckPair() {
    int fds[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) {
        ADD_FAILURE() << "socketpair failed";
        return {};
    }
    StuckPair pair{UniqueFd(fds[0]), UniqueFd(fds[1])};
    const Bytes filler(65, 0xEE);
    while (pair.queued < 100000 && ::send(fds[0], filler.data(), filler.size(), MSG_DONTWAIT) > 0) {
        ++pair.queued;
    }
    EXPECT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK);
    return pair;
}

// One report as the peer receives it; empty when none comes within `wait`,
// a single 0xFF byte at end of file.
Bytes Receive(int peer, milliseconds wait) {
    pollfd p{peer, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) {
        return {};
    }
    std::array<std::uint8_t, 256> buffer{};
    const ssize_t n = ::recv(peer, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n == 0) {
        return {0xFF};
    }
    if (n < 0) {
        return {};
    }
    return Bytes(buffer.begin(), buffer.begin() + n);
}

// Takes the filler out of the peer's queue, which lets a stuck write go on.
void Drain(int peer, int count) {
    for (int i = 0; i < count; ++i) {
        const Bytes got = Receive(peer, milliseconds(1000));
        ASSERT_EQ(got, Bytes(65, 0xEE)) << "filler " << i;
    }
}

Bytes Report(std::uint8_t fill) {
    Bytes report(65, fill);
    report[0] = 0;
    return report;
}

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

class HidrawTransfer : public ::testing::Test {
protected:
    // A write to a socket whose peer has gone raises SIGPIPE; hidraw nodes never do.
    static void SetUpTestSuite() { std::signal(SIGPIPE, SIG_IGN); }
};

TEST(HidrawEnumeration, OrderedBySysfsPathWithNodesUnderDevRoot) {
    TempDir tmp;
    const fs::path sys = tmp.Path() / "sys";
    // Created in an order that is neither the name order nor the topology order.
    AddSysfsNode(sys, "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:1234:0001.0007", "hidraw2");
    AddSysfsNode(sys, "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/0003:046D:C31C.0001", "hidraw10");
    AddSysfsNode(sys, "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.1/0003:046D:C31C.0002", "hidraw0",
                 false);
    HidrawPort port(sys.string(), "/devroot");
    EXPECT_EQ(
        port.EnumerateHidInterfaces(),
        (std::vector<std::string>{"/devroot/hidraw10", "/devroot/hidraw0", "/devroot/hidraw2"}));
    // Stable: the same order again.
    EXPECT_EQ(port.EnumerateHidInterfaces().front(), "/devroot/hidraw10");
}

TEST(HidrawEnumeration, MissingClassFolderAndDanglingLinks) {
    TempDir tmp;
    HidrawPort none((tmp.Path() / "sys").string(), "/dev");
    EXPECT_TRUE(none.EnumerateHidInterfaces().empty());

    const fs::path sys = tmp.Path() / "sys2";
    AddSysfsNode(sys, "virtual/misc/0003:1234:0001.0001", "hidraw1");
    fs::create_symlink("../../devices/gone/hidraw/hidraw3", sys / "class" / "hidraw" / "hidraw3");
    HidrawPort port(sys.string(), "/dev");
    EXPECT_EQ(port.EnumerateHidInterfaces(), (std::vector<std::string>{"/dev/hidraw1"}));
}

TEST(HidrawIdentity, ComesFromSysfsWithoutOpeningAnyNode) {
    test::FakeSysfs fs;
    fs.AddNode("pci0000:00/usb1/1-1/1-1:1.0/0003:046D:C31C.0001", "hidraw0", {{0x046D, 0xC31C}});
    fs.AddNode("pci0000:00/usb1/1-2/1-2:1.0/0003:1234:0001.0002", "hidraw1", {{0x1234, 0x0001}});
    fs.AddNode("virtual/misc/none", "hidraw2", std::nullopt);  // no HID device above it
    HidrawPort port = fs.Port();
    const std::optional<HidAttributes> keyboard = port.ReadIdentity(fs.Node("hidraw0"));
    ASSERT_TRUE(keyboard.has_value());
    EXPECT_EQ(keyboard->vendorId, 0x046D);
    EXPECT_EQ(keyboard->productId, 0xC31C);
    const std::optional<HidAttributes> receiver = port.ReadIdentity(fs.Node("hidraw1"));
    ASSERT_TRUE(receiver.has_value());
    EXPECT_EQ(receiver->vendorId, 0x1234);
    EXPECT_EQ(receiver->productId, 0x0001);
    EXPECT_FALSE(port.ReadIdentity(fs.Node("hidraw2")).has_value());
    EXPECT_FALSE(port.ReadIdentity(fs.Node("hidraw9")).has_value()) << "no such node";
    EXPECT_TRUE(fs.Opened().empty());
}

TEST(HidrawIdentity, HidIdLinesAreReadStrictly) {
    const std::optional<HidAttributes> usb =
        HidIdFromUevent("DRIVER=hid-generic\nHID_ID=0003:000004D8:0000003F\nHID_NAME=x\n");
    ASSERT_TRUE(usb.has_value());
    EXPECT_EQ(usb->vendorId, 0x04D8);
    EXPECT_EQ(usb->productId, 0x003F);
    const std::optional<HidAttributes> highBits = HidIdFromUevent("HID_ID=0005:0000FFFE:00008000");
    ASSERT_TRUE(highBits.has_value());
    EXPECT_EQ(highBits->vendorId, 0xFFFE);
    EXPECT_EQ(highBits->productId, 0x8000);
    for (const char* malformed :
         {"", "DRIVER=hid-generic\n", "HID_ID=0003:1234",
          "HID_ID=0003:1234:", "HID_ID=0003:00001234:00000001x", "HID_ID=0003:00010000:00000001",
          "HID_ID=:1234:0001", "XHID_ID=0003:00001234:00000001"}) {
        EXPECT_FALSE(HidIdFromUevent(malformed).has_value()) << malformed;
    }
}

TEST(HidrawSearch, OnlyTheReceiversNodeIsOpenedAndItsRefusalIsNamed) {
    test::FakeSysfs fs;
    fs.AddNode("pci0000:00/usb1/1-1/1-1:1.0/0003:046D:C31C.0001", "hidraw0", {{0x046D, 0xC31C}});
    fs.AddNode("pci0000:00/usb1/1-2/1-2:1.0/0003:1234:0001.0002", "hidraw1", {{0x1234, 0x0001}});
    fs.AddNode("pci0000:00/usb1/1-3/1-3:1.0/0003:046D:C52B.0003", "hidraw2", {{0x046D, 0xC52B}});
    fs.FailOpen("hidraw1", EACCES);
    HidrawPort port = fs.Port();
    HidTransport hid(port);
    const ConnectResult result = hid.Connect(0x1234, 0x0001);
    EXPECT_EQ(result.outcome, ConnectResult::Outcome::CannotOpen);
    EXPECT_EQ(result.path, fs.Node("hidraw1"));
    EXPECT_EQ(result.error.kind, HidOpenFailure::AccessDenied);
    EXPECT_EQ(result.error.reason, "Permission denied");
    EXPECT_NE(result.error.advice.find("70-quorvane-receiver.rules"), std::string::npos);
    // The keyboard and the other device were never opened.
    EXPECT_EQ(fs.Opened(), (std::vector<std::string>{fs.Node("hidraw1")}));
}

TEST(HidrawSearch, BusyAndVanishedNodesSaySo) {
    const std::pair<int, HidOpenFailure> cases[] = {
        {EBUSY, HidOpenFailure::InUse},
        {ENOENT, HidOpenFailure::Gone},
        {ENODEV, HidOpenFailure::Gone},
        {EIO, HidOpenFailure::Other},
    };
    for (const auto& [error, kind] : cases) {
        test::FakeSysfs fs;
        fs.AddNode("usb/0003:1234:0001.0001", "hidraw0", {{0x1234, 0x0001}});
        fs.FailOpen("hidraw0", error);
        HidrawPort port = fs.Port();
        const HidOpenResult opened = port.TryOpen(fs.Node("hidraw0"));
        EXPECT_EQ(opened.device, nullptr) << error;
        EXPECT_EQ(opened.error.kind, kind) << error;
        EXPECT_EQ(opened.error.reason, std::generic_category().message(error));
        EXPECT_TRUE(opened.error.advice.empty()) << "only a refused access has advice";
    }
}

TEST(HidrawSearch, WithoutAMatchingNodeNothingIsOpened) {
    test::FakeSysfs fs;
    fs.AddNode("usb/0003:046D:C31C.0001", "hidraw0", {{0x046D, 0xC31C}});
    fs.AddNode("usb/0003:1234:0002.0002", "hidraw1", {{0x1234, 0x0002}});
    HidrawPort port = fs.Port();
    HidTransport hid(port);
    EXPECT_EQ(hid.Connect(0x1234, 0x0001).outcome, ConnectResult::Outcome::NotFound);
    EXPECT_TRUE(fs.Opened().empty());

    test::FakeSysfs empty;
    HidrawPort none = empty.Port();
    HidTransport nothing(none);
    EXPECT_EQ(nothing.Connect(0x1234, 0x0001).outcome, ConnectResult::Outcome::NotFound);
    EXPECT_TRUE(empty.Opened().empty());
}

TEST(HidrawOpen, MissingNodeAndNonHidNode) {
    TempDir tmp;
    HidrawPort port(tmp.Path().string(), tmp.Path().string());
    EXPECT_EQ(port.Open((tmp.Path() / "hidraw0").string()), nullptr);

    // A node that opens but answers no hidraw ioctl (ENOTTY): no identity, no lengths.
    const fs::path plain = tmp.Path() / "hidraw1";
    std::ofstream(plain) << "x";
    std::unique_ptr<HidDevice> device = port.Open(plain.string());
    ASSERT_NE(device, nullptr);
    EXPECT_FALSE(device->GetAttributes().has_value());
    EXPECT_FALSE(device->GetCaps().has_value());
}

TEST_F(HidrawTransfer, OpenedNodeNeverBlocksPastTheDeadline) {
    // A FIFO that nobody drains stands in for a device that takes no more
    // reports: opened as the port opens nodes, a full FIFO must time out
    // rather than block.
    TempDir tmp;
    const fs::path fifo = tmp.Path() / "hidraw0";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    HidrawPort port(tmp.Path().string(), tmp.Path().string());
    std::unique_ptr<HidDevice> device = port.Open(fifo.string());
    ASSERT_NE(device, nullptr);
    const Bytes report(65, 0x11);
    TransferStatus status = TransferStatus::Done;
    int written = 0;
    Clock::time_point start;
    while (status == TransferStatus::Done && written < 10000) {
        start = Clock::now();
        status = device->WriteReport(report, milliseconds(1010));
        ++written;
    }
    const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    EXPECT_EQ(status, TransferStatus::TimedOut);
    EXPECT_GE(elapsed.count(), 1010);

    // Reading an empty FIFO times out the same way.
    Bytes in(65, 0);
    std::unique_ptr<HidDevice> reader = port.Open(fifo.string());
    ASSERT_NE(reader, nullptr);
    // Drain what the writer left so that the read finds nothing.
    while (reader->ReadReport(in, milliseconds(0)) == TransferStatus::Done) {
    }
    start = Clock::now();
    EXPECT_EQ(reader->ReadReport(in, milliseconds(1010)), TransferStatus::TimedOut);
    EXPECT_GE(std::chrono::duration_cast<milliseconds>(Clock::now() - start).count(), 1010);
}

TEST_F(HidrawTransfer, IdentityIoctlFailsOnASocket) {
    SocketPair pair = MakePair();
    HidrawDevice device(std::move(pair.device), kUnnumbered);
    EXPECT_FALSE(device.GetAttributes().has_value());
    ASSERT_TRUE(device.GetCaps().has_value());
    EXPECT_EQ(device.GetCaps()->inputReportByteLength, 65);
    EXPECT_EQ(device.GetCaps()->outputReportByteLength, 65);
    EXPECT_FALSE(device.Numbered());

    SocketPair other = MakePair();
    HidrawDevice broken(std::move(other.device), Bytes{0x75, 0x08, 0x96});
    EXPECT_FALSE(broken.GetCaps().has_value());
}

TEST_F(HidrawTransfer, WritePassesTheWholeReportThrough) {
    SocketPair pair = MakePair();
    const int peer = pair.peer.Get();
    HidrawDevice device(std::move(pair.device), kUnnumbered);
    Bytes report(65, 0);
    report[1] = 0x1C;
    report[2] = 0x05;
    report[3] = 0x64;
    ASSERT_EQ(device.WriteReport(report, milliseconds(1010)), TransferStatus::Done);
    std::array<std::uint8_t, 128> got{};
    const ssize_t n = ::recv(peer, got.data(), got.size(), MSG_DONTWAIT);
    ASSERT_EQ(n, 65);
    EXPECT_TRUE(std::equal(report.begin(), report.end(), got.begin()));
}

TEST_F(HidrawTransfer, UnnumberedReadsGetAZeroIdInFront) {
    SocketPair pair = MakePair();
    HidrawDevice device(std::move(pair.device), kUnnumbered);
    Bytes sent(64);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<std::uint8_t>(i + 1);
    }
    ASSERT_EQ(::send(pair.peer.Get(), sent.data(), sent.size(), 0), 64);
    Bytes report(65, 0xEE);
    ASSERT_EQ(device.ReadReport(report, milliseconds(1010)), TransferStatus::Done);
    EXPECT_EQ(report[0], 0);
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), report.begin() + 1));

    // A shorter report leaves the rest of the buffer as it was.
    const std::array<std::uint8_t, 2> shortReport{0x41, 0x42};
    ASSERT_EQ(::send(pair.peer.Get(), shortReport.data(), shortReport.size(), 0), 2);
    Bytes buffer(8, 0xEE);
    ASSERT_EQ(device.ReadReport(buffer, milliseconds(1010)), TransferStatus::Done);
    EXPECT_EQ(buffer, (Bytes{0, 0x41, 0x42, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST_F(HidrawTransfer, NumberedReadsArePassedThrough) {
    SocketPair pair = MakePair();
    HidrawDevice device(std::move(pair.device), kNumbered);
    EXPECT_TRUE(device.Numbered());
    const Bytes sent{0x10, 1, 2, 3, 4, 5, 6};
    ASSERT_EQ(::send(pair.peer.Get(), sent.data(), sent.size(), 0), 7);
    Bytes report(7, 0);
    ASSERT_EQ(device.ReadReport(report, milliseconds(1010)), TransferStatus::Done);
    EXPECT_EQ(report, sent);
}

TEST_F(HidrawTransfer, SilentDeviceTimesOutAtTheDeadline) {
    SocketPair pair = MakePair();
    HidrawDevice device(std::move(pair.device), kUnnumbered);
    Bytes report(65, 0);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(device.ReadReport(report, milliseconds(1010)), TransferStatus::TimedOut);
    const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    EXPECT_GE(elapsed.count(), 1010);
}

TEST_F(HidrawTransfer, StuckWriteTimesOutInsteadOfBlocking) {
    SocketPair pair = MakePair();
    const int fd = pair.device.Get();
    // Fill the socket until it takes no more: the peer reads nothing.
    const Bytes filler(65, 0xAB);
    int sent = 0;
    while (::send(fd, filler.data(), filler.size(), MSG_DONTWAIT) > 0 && sent < 100000) {
        ++sent;
    }
    ASSERT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK);
    HidrawDevice device(std::move(pair.device), kUnnumbered);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(device.WriteReport(filler, milliseconds(1010)), TransferStatus::TimedOut);
    const auto elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    EXPECT_GE(elapsed.count(), 1010);
}

TEST_F(HidrawTransfer, PeerClosedMidReadIsGoneAtOnce) {
    SocketPair pair = MakePair();
    HidrawDevice device(std::move(pair.device), kUnnumbered);
    Bytes report(65, 0);
    std::atomic<pid_t> readerTid{0};
    TransferStatus midRead = TransferStatus::Done;
    std::thread reader([&] {
        readerTid = ThisThread();
        midRead = device.ReadReport(report, milliseconds(20000));
    });
    // The peer goes away while the read waits in poll().
    while (readerTid.load() == 0) {
        std::this_thread::yield();
    }
    ASSERT_TRUE(WaitUntilBlockedIn(readerTid.load(), {SYS_poll, SYS_ppoll}));
    pair.peer = UniqueFd();
    reader.join();
    // Gone, not TimedOut: the read ends with the hang-up, not at its deadline.
    EXPECT_EQ(midRead, TransferStatus::Gone);

    // Later transfers fail without waiting for their deadlines. A socket
    // answers the write with EPIPE (a stalled endpoint on hidraw: a failure,
    // not a removal).
    EXPECT_EQ(device.ReadReport(report, milliseconds(5000)), TransferStatus::Gone);
    EXPECT_EQ(device.WriteReport(report, milliseconds(5000)), TransferStatus::Failed);
}

TEST_F(HidrawTransfer, ReportQueuedBeforeTheUnplugIsStillRead) {
    SocketPair pair = MakePair();
    HidrawDevice device(std::move(pair.device), kUnnumbered);
    const Bytes sent(64, 0x31);
    ASSERT_EQ(::send(pair.peer.Get(), sent.data(), sent.size(), 0), 64);
    pair.peer = UniqueFd();
    Bytes report(65, 0);
    ASSERT_EQ(device.ReadReport(report, milliseconds(1010)), TransferStatus::Done);
    EXPECT_EQ(report[1], 0x31);
    EXPECT_EQ(device.ReadReport(report, milliseconds(5000)), TransferStatus::Gone);
}

TEST_F(HidrawTransfer, WriteBlockedInTheKernelTimesOutAndHoldsBackTheNext) {
    StuckPair pair = MakeStuckPair();
    const int peer = pair.peer.Get();
    HidrawDevice device(std::move(pair.device), kUnnumbered);

    Clock::time_point start = Clock::now();
    EXPECT_EQ(device.WriteReport(Report(0xA1), milliseconds(1010)), TransferStatus::TimedOut);
    long long elapsed = MsSince(start);
    EXPECT_GE(elapsed, 1010);

    // The first report is still inside write(): the next one waits for it
    // within its own deadline and is never written.
    start = Clock::now();
    EXPECT_EQ(device.WriteReport(Report(0xB2), milliseconds(1010)), TransferStatus::TimedOut);
    elapsed = MsSince(start);
    EXPECT_GE(elapsed, 1010);

    // Reads are not held up by the stuck write (which stays stuck until the
    // peer drains below, so a held-up read would never come back).
    Bytes in(65, 0);
    EXPECT_EQ(device.ReadReport(in, milliseconds(50)), TransferStatus::TimedOut);
    const Bytes answer(64, 0x5A);
    ASSERT_EQ(::send(peer, answer.data(), answer.size(), 0), 64);
    EXPECT_EQ(device.ReadReport(in, milliseconds(5000)), TransferStatus::Done);
    EXPECT_EQ(in[1], 0x5A);

    // Once the peer takes reports again, the stuck report goes out whole,
    // then the new ones in order; the one refused while it was stuck never.
    Drain(peer, pair.queued);
    EXPECT_EQ(device.WriteReport(Report(0xC3), milliseconds(1010)), TransferStatus::Done);
    EXPECT_EQ(device.WriteReport(Report(0xD4), milliseconds(1010)), TransferStatus::Done);
    EXPECT_EQ(Receive(peer, milliseconds(1000)), Report(0xA1));
    EXPECT_EQ(Receive(peer, milliseconds(1000)), Report(0xC3));
    EXPECT_EQ(Receive(peer, milliseconds(1000)), Report(0xD4));
    EXPECT_EQ(Receive(peer, milliseconds(50)), Bytes{});
}

TEST_F(HidrawTransfer, WriteGoesOutWhenTheStuckOneReturnsBeforeItsDeadline) {
    StuckPair pair = MakeStuckPair();
    const int peer = pair.peer.Get();
    HidrawDevice device(std::move(pair.device), kUnnumbered);
    EXPECT_EQ(device.WriteReport(Report(0xA1), milliseconds(1010)), TransferStatus::TimedOut);

    // The receiver recovers while the next write waits for the stuck one.
    const pid_t writerTid = ThisThread();
    std::atomic<bool> writing{false};
    std::thread recover([peer, queued = pair.queued, writerTid, &writing] {
        while (!writing.load()) {
            std::this_thread::yield();
        }
        if (WaitUntilBlockedIn(writerTid, {SYS_futex})) {
            Drain(peer, queued);
        }
    });
    writing = true;
    // Done, not TimedOut: it went out within its own deadline.
    EXPECT_EQ(device.WriteReport(Report(0xB2), milliseconds(20000)), TransferStatus::Done);
    recover.join();
    EXPECT_EQ(Receive(peer, milliseconds(1000)), Report(0xA1));
    EXPECT_EQ(Receive(peer, milliseconds(1000)), Report(0xB2));
    EXPECT_EQ(Receive(peer, milliseconds(50)), Bytes{});
}

TEST_F(HidrawTransfer, ClosingWithAStuckWriteReturnsAtOnceAndClosesTheNodeAfterIt) {
    StuckPair pair = MakeStuckPair();
    const int peer = pair.peer.Get();
    auto device = std::make_unique<HidrawDevice>(std::move(pair.device), kUnnumbered);
    EXPECT_EQ(device->WriteReport(Report(0xA1), milliseconds(1010)), TransferStatus::TimedOut);

    // The write stays stuck until the peer drains below: a close that waited
    // for it would never return.
    device.reset();

    // The node stays open under the running write: the peer still finds the
    // filler, then the stuck report whole, and only then the end of file.
    Drain(peer, pair.queued);
    EXPECT_EQ(Receive(peer, milliseconds(1000)), Report(0xA1));
    EXPECT_EQ(Receive(peer, milliseconds(1000)), Bytes{0xFF});
}

TEST_F(HidrawTransfer, ClosingAnIdleDeviceClosesTheNodeAtOnce) {
    SocketPair pair = MakePair();
    const int peer = pair.peer.Get();
    auto device = std::make_unique<HidrawDevice>(std::move(pair.device), kUnnumbered);
    EXPECT_EQ(device->WriteReport(Report(0x11), milliseconds(1010)), TransferStatus::Done);
    device.reset();
    EXPECT_EQ(Receive(peer, milliseconds(0)), Report(0x11));
    EXPECT_EQ(Receive(peer, milliseconds(0)), Bytes{0xFF});
}

}  // namespace
}  // namespace qv
