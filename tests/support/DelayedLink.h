#pragma once
// A slow link to a display server for tests: a socket (Unix, or TCP for X
// clients) that passes everything its clients send (bytes and the
// descriptors that travel with them) on to the server's Unix socket only
// after a fixed delay, and everything the server sends back at once. A program connected through it
// has its requests reach the server late; one that returns before the server has answered it (a
// flush where a round trip was meant) returns before the server has even seen its requests, which a
// client connected directly can tell. Used by the tests of "Send returns once the focused window
// has been handed every event" on X11 and on Wayland.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace qv::test {

class DelayedLink {
public:
    using Clock = std::chrono::steady_clock;

    // Listens on the Unix socket `path`; each connection is joined to a new
    // one to the server's socket `serverPath` ("@name" for an abstract one).
    DelayedLink(std::string serverPath, std::string path, std::chrono::milliseconds delay)
        : serverPath_(std::move(serverPath)), address_(std::move(path)), delay_(delay) {
        ::unlink(address_.c_str());
        listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address = Address(address_);
        if (listen_ < 0 ||
            ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            error_ = std::string("cannot listen on ") + address_ + ": " + std::strerror(errno);
            return;
        }
        unlinkAtEnd_ = true;
        Start();
    }

    // Listens on a TCP port of 127.0.0.1 that an X display number names
    // (6000 + n, the first free one from 6100 on): Address() is then the
    // display name ("127.0.0.1:n"). For X clients, whose libraries know no
    // socket paths.
    struct XDisplay {};
    DelayedLink(XDisplay, std::string serverPath, std::chrono::milliseconds delay)
        : serverPath_(std::move(serverPath)), delay_(delay) {
        for (int display = 100; display < 1000 && address_.empty(); ++display) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<std::uint16_t>(6000 + display));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                listen_ = fd;
                address_ = "127.0.0.1:" + std::to_string(display);
            } else if (fd >= 0) {
                ::close(fd);
            }
        }
        if (listen_ < 0) {
            error_ = "no free port for a display on 127.0.0.1";
            return;
        }
        tcp_ = true;
        Start();
    }

    ~DelayedLink() {
        if (thread_.joinable()) {
            stop_ = true;
            const char byte = 0;
            [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
            thread_.join();
        }
        for (const int fd : {listen_, wake_[0], wake_[1]}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
        if (unlinkAtEnd_) {
            ::unlink(address_.c_str());
        }
    }
    DelayedLink(const DelayedLink&) = delete;
    DelayedLink& operator=(const DelayedLink&) = delete;

    // Empty when the link listens; else why not.
    const std::string& Error() const { return error_; }
    // Where clients connect: the socket's path, or the X display name.
    const std::string& Address() const { return address_; }
    // The connections made through the link so far.
    int Connections() const { return connections_; }

private:
    // What a client sent, held until it is due.
    struct Chunk {
        Clock::time_point due;
        std::vector<char> bytes;
        std::vector<int> fds;  // sent with the first byte
    };
    struct Pair {
        int client = -1;
        int server = -1;
        std::deque<Chunk> held;
        bool clientClosed = false;
    };

    void Start() {
        if (::listen(listen_, 8) != 0 || ::pipe2(wake_, O_CLOEXEC) != 0) {
            error_ = std::string("cannot listen on ") + address_ + ": " + std::strerror(errno);
            return;
        }
        thread_ = std::thread([this] { Run(); });
    }

    static sockaddr_un Address(const std::string& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (!path.empty() && path[0] == '@') {
            address.sun_path[0] = '\0';
        }
        return address;
    }

    int ConnectToServer() const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address = Address(serverPath_);
        // An abstract name's length counts, without a terminating NUL.
        const socklen_t length =
            serverPath_[0] == '@'
                ? static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + serverPath_.size())
                : static_cast<socklen_t>(sizeof address);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0) {
            return fd;
        }
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }

    // Reads what `from` has, with its descriptors; false at its end.
    static bool Receive(int from, std::vector<char>& bytes, std::vector<int>& fds) {
        bytes.resize(65536);
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 32)];
        iovec io{bytes.data(), bytes.size()};
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        ssize_t n = 0;
        do {
            n = ::recvmsg(from, &message, MSG_CMSG_CLOEXEC);
        } while (n < 0 && errno == EINTR);
        if (n <= 0) {
            return false;
        }
        bytes.resize(static_cast<std::size_t>(n));
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
                const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                const int* received = reinterpret_cast<const int*>(CMSG_DATA(c));
                fds.insert(fds.end(), received, received + count);
            }
        }
        return true;
    }

    // Writes all of `bytes` to `to`, the descriptors with the first part;
    // closes this side's copies of them.
    static bool Send(int to, const std::vector<char>& bytes, std::vector<int>& fds) {
        std::size_t sent = 0;
        bool ok = true;
        while (sent < bytes.size()) {
            iovec io{const_cast<char*>(bytes.data()) + sent, bytes.size() - sent};
            msghdr message{};
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 32)];
            if (!fds.empty()) {
                const std::size_t size = sizeof(int) * fds.size();
                message.msg_control = control;
                message.msg_controllen = CMSG_SPACE(size);
                cmsghdr* c = CMSG_FIRSTHDR(&message);
                c->cmsg_level = SOL_SOCKET;
                c->cmsg_type = SCM_RIGHTS;
                c->cmsg_len = CMSG_LEN(size);
                std::memcpy(CMSG_DATA(c), fds.data(), size);
            }
            const ssize_t n = ::sendmsg(to, &message, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                ok = false;
                break;
            }
            sent += static_cast<std::size_t>(n);
            for (const int fd : fds) {
                ::close(fd);
            }
            fds.clear();
        }
        for (const int fd : fds) {
            ::close(fd);
        }
        fds.clear();
        return ok;
    }

    static void Close(Pair& p) {
        for (Chunk& c : p.held) {
            for (const int fd : c.fds) {
                ::close(fd);
            }
        }
        p.held.clear();
        ::close(p.client);
        ::close(p.server);
        p.client = p.server = -1;
    }

    void Run() {
        std::vector<std::unique_ptr<Pair>> pairs;
        while (!stop_) {
            // Pass on what is due; wait until the next chunk is.
            int timeout = -1;
            const Clock::time_point now = Clock::now();
            for (auto& p : pairs) {
                while (!p->held.empty() && p->held.front().due <= now) {
                    Chunk& c = p->held.front();
                    if (!Send(p->server, c.bytes, c.fds)) {
                        p->clientClosed = true;
                    }
                    p->held.pop_front();
                }
                if (!p->held.empty()) {
                    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                                          p->held.front().due - now)
                                          .count() +
                                      1;
                    timeout = timeout < 0 ? static_cast<int>(wait)
                                          : std::min(timeout, static_cast<int>(wait));
                }
            }
            for (auto& p : pairs) {
                if (p->clientClosed && p->held.empty()) {
                    Close(*p);
                }
            }
            pairs.erase(std::remove_if(pairs.begin(), pairs.end(),
                                       [](const auto& p) { return p->client < 0; }),
                        pairs.end());

            std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {listen_, POLLIN, 0}};
            for (auto& p : pairs) {
                fds.push_back({p->clientClosed ? -1 : p->client, POLLIN, 0});
                fds.push_back({p->server, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
                return;
            }
            if (fds[1].revents & POLLIN) {
                const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
                if (client >= 0 && tcp_) {
                    const int on = 1;
                    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                }
                const int server = client >= 0 ? ConnectToServer() : -1;
                if (server >= 0) {
                    auto p = std::make_unique<Pair>();
                    p->client = client;
                    p->server = server;
                    pairs.push_back(std::move(p));
                    ++connections_;
                } else if (client >= 0) {
                    ::close(client);
                }
            }
            for (std::size_t k = 0; k < pairs.size(); ++k) {
                Pair& p = *pairs[k];
                const pollfd& fromClient = fds[2 + 2 * k];
                const pollfd& fromServer = fds[3 + 2 * k];
                std::vector<char> bytes;
                std::vector<int> passed;
                if (fromServer.revents != 0) {
                    if (!Receive(p.server, bytes, passed) || !Send(p.client, bytes, passed)) {
                        Close(p);
                        continue;
                    }
                }
                if (fromClient.fd >= 0 && fromClient.revents != 0) {
                    bytes.clear();
                    passed.clear();
                    if (Receive(p.client, bytes, passed)) {
                        p.held.push_back(
                            {Clock::now() + delay_, std::move(bytes), std::move(passed)});
                    } else {
                        p.clientClosed = true;  // what it sent still goes on
                    }
                }
            }
        }
        for (auto& p : pairs) {
            if (p->client >= 0) {
                Close(*p);
            }
        }
    }

    std::string serverPath_;
    std::string address_;
    std::chrono::milliseconds delay_;
    bool tcp_ = false;
    bool unlinkAtEnd_ = false;
    int listen_ = -1;
    int wake_[2] = {-1, -1};
    std::string error_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

}  // namespace qv::test
