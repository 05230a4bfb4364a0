#pragma once
// sway's IPC (the i3 protocol): JSON messages over the UNIX socket named by
// $SWAYSOCK. SwayIpcPort is what the window system needs of it, so tests can
// answer with trees of their own.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/posix/UniqueFd.h"

namespace qv::wayland {

// Message types of the i3/sway IPC.
inline constexpr std::uint32_t kSwayRunCommand = 0;
inline constexpr std::uint32_t kSwayGetTree = 4;
inline constexpr std::uint32_t kSwayGetVersion = 7;

class SwayIpcPort {
public:
    virtual ~SwayIpcPort() = default;
    // Sends one message and returns the payload of its reply; nullopt when
    // sway cannot be reached or does not answer in time.
    virtual std::optional<std::string> Request(std::uint32_t type, std::string_view payload) = 0;
};

class SwayIpc final : public SwayIpcPort {
public:
    // `socketPath` empty: $SWAYSOCK. Connects at once; nullptr with `error`
    // set when there is no socket or sway does not answer.
    static std::unique_ptr<SwayIpc> Connect(std::string socketPath, std::string& error);

    std::optional<std::string> Request(std::uint32_t type, std::string_view payload) override;

private:
    explicit SwayIpc(std::string path) : path_(std::move(path)) {}
    bool Reconnect();
    std::optional<std::string> Exchange(std::uint32_t type, std::string_view payload);

    std::string path_;
    UniqueFd socket_;
};

}  // namespace qv::wayland
