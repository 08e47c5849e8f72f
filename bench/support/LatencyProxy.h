#pragma once

// A TCP proxy on 127.0.0.1 that holds back each direction's bytes for a
// given time, so a server on loopback answers as one across a network would:
// 25 ms each way make a 50 ms round trip. A new connection's first request
// also waits one round trip more, as a TCP handshake would make it.
//
// One thread serves every connection (epoll, non-blocking sockets). Each
// direction holds at most a few megabytes in flight and stops reading while
// that much waits, so a large transfer streams through it.

#include <cstdint>
#include <memory>

namespace quorlix::bench {

class LatencyProxy {
public:
    // Listens on a free port of 127.0.0.1 and forwards to targetPort there.
    LatencyProxy(std::uint16_t targetPort, int delayMsEachWay);
    ~LatencyProxy(); // closes every connection and ends the thread
    LatencyProxy(const LatencyProxy &) = delete;
    LatencyProxy &operator=(const LatencyProxy &) = delete;

    std::uint16_t port() const;

private:
    class Loop;
    std::unique_ptr<Loop> mLoop;
};

} // namespace quorlix::bench
