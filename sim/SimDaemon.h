#pragma once
// The quorvane-sim daemon: one simulated bus served over a Unix socket to the
// program's simulator backends and to the command-line client.

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "SimBus.h"
#include "common/posix/UniqueFd.h"
#include "device/sim/SimSocket.h"

namespace qv::sim {

struct DaemonOptions {
    std::string socketPath;
    BusOptions bus;
};

class SimDaemon {
public:
    explicit SimDaemon(DaemonOptions options);
    ~SimDaemon();
    SimDaemon(const SimDaemon&) = delete;
    SimDaemon& operator=(const SimDaemon&) = delete;

    // Binds and listens, replacing a stale socket left by a dead daemon; false
    // with the reason when the path is taken or unusable.
    bool Listen(std::string& error);
    // Serves until a client sends "quit" or `stopFd` becomes readable (a
    // signalfd for SIGTERM/SIGINT). Removes every device (broadcasting the
    // removals) before it returns. Returns false when serving failed.
    bool Run(int stopFd);

private:
    struct Client;

    void Accept();
    void HandleMessage(Client& client, const std::string& message);
    void HandleFirstMessage(Client& client, const std::string& message);
    void Flush();
    void RemoveAllDevices();
    void Drop(Client& client);

    DaemonOptions options_;
    Bus bus_;
    UniqueFd listener_;
    ino_t socketInode_ = 0;
    std::vector<std::unique_ptr<Client>> clients_;
    std::vector<char> buffer_ = std::vector<char>(kMaxMessageBytes);  // one incoming message
    bool quit_ = false;
};

}  // namespace qv::sim
