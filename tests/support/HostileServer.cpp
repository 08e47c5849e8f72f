#include "support/HostileServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorlix::test {

namespace {

// How long one client may take to send its request.
constexpr int kRequestTimeoutMs = 5000;

bool sendAll(int socket, const std::string &bytes)
{
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

HostileServer::HostileServer(Routes routes) : mRoutes(std::move(routes)) {}

HostileServer::~HostileServer()
{
    if (mThread.joinable()) {
        const char stop = 1;
        [[maybe_unused]] const ssize_t n = ::write(mStopPipe[1], &stop, 1);
        mThread.join();
    }
    for (int fd : {mListener, mStopPipe[0], mStopPipe[1]})
        if (fd >= 0)
            ::close(fd);
}

bool HostileServer::start()
{
    mListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (mListener < 0 || ::pipe2(mStopPipe, O_CLOEXEC) != 0)
        return false;
    const int yes = 1;
    ::setsockopt(mListener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(mListener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(mListener, 64) != 0
        || ::getsockname(mListener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return false;
    mPort = ntohs(address.sin_port);
    mThread = std::thread([this] { serve(); });
    return true;
}

std::string HostileServer::url(const std::string &path) const
{
    return "http://127.0.0.1:" + std::to_string(mPort) + path;
}

std::string HostileServer::hostFolder() const
{
    return "127.0.0.1+" + std::to_string(mPort);
}

void HostileServer::setRoute(const std::string &path, std::string bytes)
{
    std::lock_guard<std::mutex> hold(mLock);
    mRoutes[path] = std::move(bytes);
}

std::vector<std::string> HostileServer::requests() const
{
    std::lock_guard<std::mutex> hold(mLock);
    return mRequests;
}

std::string HostileServer::answer(const std::string &status, const std::string &contentType, const std::string &body,
                                  const std::string &headers)
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + contentType + "\r\n" + headers
           + "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

void HostileServer::serve()
{
    while (true) {
        pollfd waits[2] = {{mListener, POLLIN, 0}, {mStopPipe[0], POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0 && errno != EINTR)
            return;
        if (waits[1].revents != 0)
            return;
        if (waits[0].revents == 0)
            continue;
        const int client = ::accept4(mListener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        answerOne(client);
        ::close(client);
    }
}

// One request per connection: its head is read, the answer sent, the
// connection closed (clients open a new one for the next request).
void HostileServer::answerOne(int client)
{
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        pollfd wait{client, POLLIN, 0};
        if (::poll(&wait, 1, kRequestTimeoutMs) <= 0)
            return;
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    const std::size_t first = request.find(' ');
    const std::size_t second = first == std::string::npos ? first : request.find(' ', first + 1);
    const std::string path = second == std::string::npos ? std::string()
                                                         : request.substr(first + 1, second - first - 1);
    std::string bytes;
    {
        std::lock_guard<std::mutex> hold(mLock);
        mRequests.push_back(path);
        auto found = mRoutes.find(path);
        if (found == mRoutes.end())
            found = mRoutes.find("*");
        bytes = found != mRoutes.end() ? found->second : answer("404 Not Found", "text/html", "");
    }
    sendAll(client, bytes);
    // The client reads to the end before it sees the close.
    ::shutdown(client, SHUT_WR);
}

} // namespace quorlix::test
