#pragma once
// The quorvane-sim daemon: one simulated bus served over a Unix socket to the
// program's simulator backends and to the command-line client, and optionally
// over a loopback TCP port (length-framed messages, src/device/sim/SimFrame.h)
// to the Windows program running under Wine.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "SimBus.h"
#include "common/posix/UniqueFd.h"
#include "device/sim/unix/SimSocket.h"

namespace qv::sim {

struct DaemonOptions {
    std::string socketPath;
    // "HOST:PORT" to serve on TCP as well; HOST must be a loopback address,
    // PORT 0 picks a free port. Empty: no TCP.
    std::string tcp;
    BusOptions bus;
};

// Splits "HOST:PORT" for --tcp; false with the reason unless HOST is an IPv4
// loopback address (127.x.y.z) or "localhost" and PORT is 0..65535.
bool ParseTcpEndpoint(const std::string& text, std::string& host, std::uint16_t& port,
                      std::string& error);

class SimDaemon {
public:
    explicit SimDaemon(DaemonOptions options);
    ~SimDaemon();
    SimDaemon(const SimDaemon&) = delete;
    SimDaemon& operator=(const SimDaemon&) = delete;

    // Binds and listens, replacing a stale socket left by a dead daemon; false
    // with the reason when the path is taken or unusable.
    bool Listen(std::string& error);
    // The TCP port being served ("HOST:PORT" with the port really bound); empty
    // without TCP.
    const std::string& TcpEndpoint() const { return tcpEndpoint_; }
    // Serves until a client sends "quit" or `stopFd` becomes readable (a
    // signalfd for SIGTERM/SIGINT). Removes every device (broadcasting the
    // removals) before it returns. Returns false when serving failed.
    bool Run(int stopFd);

private:
    struct Client;

    bool ListenTcp(std::string& error);
    void Accept(int listener, bool framed);
    void Receive(Client& client);
    // Sends one message to the client. A framed (TCP) client's messages queue up
    // and leave as the connection takes them; `droppable` ones (input reports)
    // are left out while the queue is long, as hidraw's ring drops them.
    bool Send(Client& client, const std::string& message, std::chrono::milliseconds timeout,
              bool droppable = false);
    void SendQueued(Client& client);
    void HandleMessage(Client& client, const std::string& message);
    void HandleFirstMessage(Client& client, const std::string& message);
    void Flush();
    void RemoveAllDevices();
    void Drop(Client& client);

    DaemonOptions options_;
    Bus bus_;
    UniqueFd listener_;
    UniqueFd tcpListener_;
    std::string tcpEndpoint_;
    ino_t socketInode_ = 0;
    std::vector<std::unique_ptr<Client>> clients_;
    std::vector<char> buffer_ = std::vector<char>(kMaxMessageBytes);  // one incoming message
    bool quit_ = false;
};

}  // namespace qv::sim
