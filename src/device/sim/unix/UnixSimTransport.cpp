#include "device/sim/unix/UnixSimTransport.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "common/Deadline.h"
#include "common/DebugLog.h"
#include "common/ErrnoText.h"
#include "device/sim/TcpSimTransport.h"
#include "device/sim/unix/SimSocket.h"

namespace qv::sim {

namespace {

class UnixSimConnection final : public SimConnection {
public:
    explicit UnixSimConnection(UniqueFd fd) : fd_(std::move(fd)) {}

    TransferStatus Send(std::string_view message, Deadline deadline) override {
        return SendMessage(fd_.Get(), message, deadline);
    }

    TransferStatus Receive(std::string& message, Deadline deadline) override {
        for (;;) {
            // Wait first, as the hidraw backend does: poll() decides the deadline.
            pollfd entry{fd_.Get(), POLLIN, 0};
            const int ready =
                ::poll(&entry, 1, deadline == Deadline::max() ? -1 : RemainingMs(deadline));
            if (ready == 0) {
                return TransferStatus::TimedOut;
            }
            if (ready < 0) {
                if (errno == EINTR) {
                    continue;
                }
                DebugLogErrno("poll(simulator connection)", errno);
                return TransferStatus::Failed;
            }
            // A message that came before a hang-up is read first; then recv says 0.
            if ((entry.revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                return TransferStatus::Gone;  // POLLNVAL
            }
            const ssize_t got = ::recv(fd_.Get(), buffer_.data(), buffer_.size(), MSG_DONTWAIT);
            if (got > 0) {
                message.assign(buffer_.data(), static_cast<std::size_t>(got));
                return TransferStatus::Done;
            }
            if (got == 0 || errno == ECONNRESET || errno == ENOTCONN) {
                return TransferStatus::Gone;  // the daemon closed, or Shutdown
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                DebugLogErrno("recv(simulator connection)", errno);
                return TransferStatus::Failed;
            }
        }
    }

    void Shutdown() override { ::shutdown(fd_.Get(), SHUT_RDWR); }

private:
    UniqueFd fd_;
    std::vector<char> buffer_ = std::vector<char>(kMaxMessageBytes);
};

class UnixSimTransport final : public SimTransport {
public:
    explicit UnixSimTransport(std::string socketPath) : socketPath_(std::move(socketPath)) {}

    std::unique_ptr<SimConnection> Connect(std::chrono::milliseconds /*timeout*/,
                                           std::string& error) override {
        // A local socket connects at once or not at all.
        int errorNumber = 0;
        UniqueFd fd = ConnectSimSocket(socketPath_, errorNumber);
        if (!fd.Valid()) {
            error = "connect(" + socketPath_ + "): " + ErrnoText(errorNumber);
            return nullptr;
        }
        return std::make_unique<UnixSimConnection>(std::move(fd));
    }

    const std::string& Address() const override { return socketPath_; }

private:
    std::string socketPath_;
};

}  // namespace

std::string DefaultSimSocketPath() {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir != nullptr && runtimeDir[0] != '\0') {
        return std::string(runtimeDir) + "/quorvane-sim.sock";
    }
    return "/tmp/quorvane-sim-" + std::to_string(::getuid()) + ".sock";
}

std::shared_ptr<SimTransport> MakeUnixSimTransport(std::string socketPath) {
    return std::make_shared<UnixSimTransport>(std::move(socketPath));
}

std::shared_ptr<SimTransport> MakeSimTransport(const std::string& address) {
    if (IsTcpSimAddress(address)) {
        return MakeTcpSimTransport(address);
    }
    return MakeUnixSimTransport(address.empty() ? DefaultSimSocketPath() : address);
}

}  // namespace qv::sim
