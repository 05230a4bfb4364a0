#pragma once
// The simulator's messages over a TCP connection, which keeps no message
// boundaries of its own: each message goes out preceded by its length (four
// bytes, most significant first). The daemon speaks this on its TCP port, the
// Windows program's simulator backends on the other side (a Wine process
// reaches the Linux daemon through Winsock). Standard library only.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv::sim {

inline constexpr std::size_t kFrameHeaderBytes = 4;
// Largest message either side sends (a status listing is the largest).
inline constexpr std::size_t kMaxFrameBytes = 256 * 1024;

// The bytes that carry `message`.
inline std::string EncodeFrame(std::string_view message) {
    const auto n = static_cast<std::uint32_t>(message.size());
    std::string frame;
    frame.reserve(kFrameHeaderBytes + message.size());
    frame.push_back(static_cast<char>((n >> 24) & 0xFF));
    frame.push_back(static_cast<char>((n >> 16) & 0xFF));
    frame.push_back(static_cast<char>((n >> 8) & 0xFF));
    frame.push_back(static_cast<char>(n & 0xFF));
    frame.append(message);
    return frame;
}

// Cuts the bytes of a stream, as they arrive in pieces of any size, back into
// messages.
class FrameDecoder {
public:
    void Feed(std::string_view bytes) { buffer_.append(bytes); }

    // The next whole message; nullopt while none is complete (or the stream broke).
    std::optional<std::string> Next() {
        if (broken_ || buffer_.size() - offset_ < kFrameHeaderBytes) {
            return std::nullopt;
        }
        const auto* p = reinterpret_cast<const unsigned char*>(buffer_.data() + offset_);
        const std::size_t n = (std::size_t{p[0]} << 24) | (std::size_t{p[1]} << 16) |
                              (std::size_t{p[2]} << 8) | std::size_t{p[3]};
        if (n > kMaxFrameBytes) {
            broken_ = true;  // nothing after this can be trusted
            return std::nullopt;
        }
        if (buffer_.size() - offset_ - kFrameHeaderBytes < n) {
            return std::nullopt;
        }
        std::string message = buffer_.substr(offset_ + kFrameHeaderBytes, n);
        offset_ += kFrameHeaderBytes + n;
        if (offset_ == buffer_.size()) {
            buffer_.clear();
            offset_ = 0;
        } else if (offset_ > 64 * 1024) {
            buffer_.erase(0, offset_);
            offset_ = 0;
        }
        return message;
    }

    // A length beyond kMaxFrameBytes arrived: the peer does not speak this.
    bool Broken() const { return broken_; }

private:
    std::string buffer_;
    std::size_t offset_ = 0;
    bool broken_ = false;
};

}  // namespace qv::sim
