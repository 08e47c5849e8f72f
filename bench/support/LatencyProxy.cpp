#include "LatencyProxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <queue>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace quorlix::bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadSize = 64 * 1024;
// Held per direction before it stops reading: at 25 ms that still passes
// over 300 MB/s, and a 1 GB transfer never sits in memory.
constexpr std::size_t kMostHeld = 8u << 20;

// epoll's user data: the listener, the stop signal, or a connection's id
// with the side (0 client, 1 server) in the lowest bit.
constexpr std::uint64_t kListener = 0;
constexpr std::uint64_t kStop = 1;

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

[[noreturn]] void failWith(const char *what)
{
    throw std::runtime_error(std::string("latency proxy: ") + what + ": " + std::strerror(errno));
}

struct Chunk {
    Clock::time_point due;
    std::string bytes;
    std::size_t sent = 0;
    bool end = false; // the sender closed its side: shut down the receiver's
};

// One way through a connection: bytes read from `from` wait until due and
// are then written to `to`.
struct Direction {
    int from = -1;
    int to = -1;
    std::deque<Chunk> chunks;
    std::size_t held = 0;
    Clock::time_point notBefore; // the handshake's round trip, for the first request
    bool reading = true; // neither ended nor paused
    bool ended = false;  // `from` has closed its side
    bool closed = false; // ... and that end has been passed on
    bool blocked = false; // `to` would block: waiting until it takes more
};

struct Connection {
    int fds[2] = {-1, -1};
    Direction up;   // client to server
    Direction down; // server to client
    std::uint32_t masks[2] = {0, 0};
    bool registered[2] = {false, false};
};

struct Due {
    Clock::time_point when;
    std::uint64_t id;
    bool operator>(const Due &other) const { return when > other.when; }
};

} // namespace

class LatencyProxy::Loop {
public:
    Loop(std::uint16_t targetPort, int delayMs) : mTargetPort(targetPort), mDelay(std::chrono::milliseconds(delayMs))
    {
        mListener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof address;
        if (mListener < 0 || ::bind(mListener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::listen(mListener, 1024) != 0
            || ::getsockname(mListener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            failWith("cannot listen");
        mPort = ntohs(address.sin_port);
        mEpoll = ::epoll_create1(EPOLL_CLOEXEC);
        mStopSignal = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (mEpoll < 0 || mStopSignal < 0)
            failWith("no epoll");
        watch(mListener, kListener);
        watch(mStopSignal, kStop);
        mThread = std::thread([this] { run(); });
    }

    ~Loop()
    {
        const std::uint64_t one = 1;
        if (::write(mStopSignal, &one, sizeof one) < 0) {
        }
        mThread.join();
        for (auto &[id, connection] : mConnections)
            for (int fd : connection.fds)
                ::close(fd);
        ::close(mListener);
        ::close(mStopSignal);
        ::close(mEpoll);
    }

    std::uint16_t port() const { return mPort; }

private:
    void watch(int fd, std::uint64_t data)
    {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = data;
        if (::epoll_ctl(mEpoll, EPOLL_CTL_ADD, fd, &event) != 0)
            failWith("epoll_ctl");
    }

    void run()
    {
        std::vector<epoll_event> events(256);
        for (;;) {
            int timeout = -1;
            if (!mTimers.empty()) {
                const auto wait = mTimers.top().when - Clock::now();
                timeout = int(std::max<long>(0, std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
            }
            const int count = ::epoll_wait(mEpoll, events.data(), int(events.size()), timeout);
            if (count < 0 && errno != EINTR)
                return;
            for (int i = 0; i < count; ++i) {
                const std::uint64_t data = events[i].data.u64;
                if (data == kStop)
                    return;
                if (data == kListener)
                    acceptAll();
                else
                    serve(data >> 1, int(data & 1), events[i].events);
            }
            const Clock::time_point now = Clock::now();
            while (!mTimers.empty() && mTimers.top().when <= now) {
                const std::uint64_t id = mTimers.top().id;
                mTimers.pop();
                const auto found = mConnections.find(id);
                if (found != mConnections.end())
                    settle(id, found->second, flush(id, found->second.up) && flush(id, found->second.down));
            }
        }
    }

    void acceptAll()
    {
        for (;;) {
            const int client = ::accept4(mListener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (client < 0)
                return; // EAGAIN, or out of descriptors: the client sees it
            // Loopback connects at once; the handshake's delay is added to
            // the first request instead.
            const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in target = loopback(mTargetPort);
            if (server < 0 || ::connect(server, reinterpret_cast<const sockaddr *>(&target), sizeof target) != 0) {
                ::close(client);
                if (server >= 0)
                    ::close(server);
                continue;
            }
            const int on = 1;
            for (int fd : {client, server}) {
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                ::fcntl(fd, F_SETFL, O_NONBLOCK);
            }
            const std::uint64_t id = mNextId++;
            Connection &connection = mConnections[id];
            connection.fds[0] = client;
            connection.fds[1] = server;
            connection.up.from = connection.down.to = client;
            connection.up.to = connection.down.from = server;
            connection.up.notBefore = Clock::now() + 3 * mDelay;
            settle(id, connection, true);
        }
    }

    void serve(std::uint64_t id, int side, std::uint32_t events)
    {
        const auto found = mConnections.find(id);
        if (found == mConnections.end())
            return;
        Connection &connection = found->second;
        Direction &outgoing = side == 0 ? connection.up : connection.down; // read from this side
        Direction &incoming = side == 0 ? connection.down : connection.up; // written to this side
        bool fine = true;
        if (events & (EPOLLIN | EPOLLHUP | EPOLLERR) && outgoing.reading)
            fine = receive(id, outgoing);
        if (fine && events & (EPOLLOUT | EPOLLHUP | EPOLLERR) && incoming.blocked)
            fine = flush(id, incoming);
        settle(id, connection, fine);
    }

    // One read from the direction's sender; false when the connection broke.
    bool receive(std::uint64_t id, Direction &direction)
    {
        const ssize_t got = ::recv(direction.from, mBuffer, sizeof mBuffer, 0);
        if (got < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        Chunk chunk;
        chunk.due = std::max(Clock::now() + mDelay, direction.notBefore);
        if (got == 0) {
            chunk.end = true;
            direction.ended = true;
            direction.reading = false;
        } else {
            chunk.bytes.assign(mBuffer, std::size_t(got));
            direction.held += std::size_t(got);
            if (direction.held >= kMostHeld)
                direction.reading = false;
        }
        const bool wasEmpty = direction.chunks.empty();
        direction.chunks.push_back(std::move(chunk));
        if (direction.blocked || !wasEmpty)
            return true; // an earlier chunk's timer or the receiver's readiness comes first
        return flush(id, direction);
    }

    // Writes what is due; false when the connection broke.
    bool flush(std::uint64_t id, Direction &direction)
    {
        const Clock::time_point now = Clock::now();
        direction.blocked = false;
        while (!direction.chunks.empty() && direction.chunks.front().due <= now) {
            Chunk &chunk = direction.chunks.front();
            if (chunk.end) {
                ::shutdown(direction.to, SHUT_WR);
                direction.closed = true;
                direction.chunks.pop_front();
                continue;
            }
            const ssize_t sent = ::send(direction.to, chunk.bytes.data() + chunk.sent, chunk.bytes.size() - chunk.sent,
                                        MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EINTR)
                    continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK)
                    return false;
                direction.blocked = true;
                break;
            }
            chunk.sent += std::size_t(sent);
            direction.held -= std::size_t(sent);
            if (chunk.sent < chunk.bytes.size()) {
                direction.blocked = true;
                break;
            }
            direction.chunks.pop_front();
        }
        if (!direction.blocked && !direction.chunks.empty())
            mTimers.push({direction.chunks.front().due, id});
        if (!direction.ended && !direction.reading && direction.held < kMostHeld / 2)
            direction.reading = true;
        return true;
    }

    // After any change: the connection is closed when broken or when both
    // ends have been passed on, else epoll is told what it waits for.
    void settle(std::uint64_t id, Connection &connection, bool fine)
    {
        if (!fine || (connection.up.closed && connection.down.closed)) {
            for (int fd : connection.fds)
                ::close(fd); // also takes them out of epoll
            mConnections.erase(id);
            return;
        }
        const std::uint32_t masks[2] = {
            (connection.up.reading ? EPOLLIN : 0u) | (connection.down.blocked ? EPOLLOUT : 0u),
            (connection.down.reading ? EPOLLIN : 0u) | (connection.up.blocked ? EPOLLOUT : 0u)};
        for (int side = 0; side < 2; ++side) {
            if (masks[side] == connection.masks[side] && connection.registered[side] == (masks[side] != 0))
                continue;
            epoll_event event{};
            event.events = masks[side];
            event.data.u64 = id << 1 | std::uint64_t(side);
            // An idle socket leaves epoll altogether: a closed peer would
            // otherwise be reported again and again.
            const int operation = masks[side] == 0 ? EPOLL_CTL_DEL
                                  : connection.registered[side] ? EPOLL_CTL_MOD
                                                                : EPOLL_CTL_ADD;
            ::epoll_ctl(mEpoll, operation, connection.fds[side], &event);
            connection.masks[side] = masks[side];
            connection.registered[side] = masks[side] != 0;
        }
    }

    const std::uint16_t mTargetPort;
    const Clock::duration mDelay;
    std::uint16_t mPort = 0;
    int mListener = -1;
    int mEpoll = -1;
    int mStopSignal = -1;
    std::uint64_t mNextId = 1;
    std::unordered_map<std::uint64_t, Connection> mConnections;
    std::priority_queue<Due, std::vector<Due>, std::greater<Due>> mTimers;
    char mBuffer[kReadSize];
    std::thread mThread;
};

LatencyProxy::LatencyProxy(std::uint16_t targetPort, int delayMsEachWay)
    : mLoop(std::make_unique<Loop>(targetPort, delayMsEachWay))
{
}

LatencyProxy::~LatencyProxy() = default;

std::uint16_t LatencyProxy::port() const
{
    return mLoop->port();
}

} // namespace quorlix::bench
