#pragma once

// A web server that sends whatever bytes a test gives it: a table of
// request paths and the raw answers (status line, headers, body) sent for
// them, word for word, so a test can answer as an attacker would (a reason
// phrase holding a carriage return, a Location with control characters, a
// compressed body that decodes to gigabytes). Raw POSIX sockets on
// 127.0.0.1, a port of its own, one thread; plain C++.
//
//     HostileServer server({{"/", HostileServer::answer("200 OK", "text/html", "<a href=x>x</a>")}});
//     server.start();
//     run("http://127.0.0.1:" + std::to_string(server.port()) + "/");

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorlix::test {

class HostileServer {
public:
    // Request path (with its query, as sent) -> the bytes answered. Any
    // other path gets the answer of "*" if there is one, else a plain 404.
    using Routes = std::map<std::string, std::string>;

    explicit HostileServer(Routes routes = {});
    // Stops the server.
    ~HostileServer();
    HostileServer(const HostileServer &) = delete;
    HostileServer &operator=(const HostileServer &) = delete;

    // Listens on 127.0.0.1 at a free port and answers on a thread of its
    // own; false when no socket could be had.
    bool start();
    int port() const { return mPort; }
    // "http://127.0.0.1:PORT" followed by path.
    std::string url(const std::string &path = "/") const;
    // "127.0.0.1+PORT", the folder a mirror saves the site under.
    std::string hostFolder() const;

    // Adds or replaces an answer; may be called while the server runs.
    void setRoute(const std::string &path, std::string bytes);
    // The paths asked for so far, in order.
    std::vector<std::string> requests() const;

    // A whole answer: "HTTP/1.1 " + status, the type, any further header
    // lines (each ending in "\r\n"), the length, then the body.
    static std::string answer(const std::string &status, const std::string &contentType, const std::string &body,
                              const std::string &headers = {});

private:
    void serve();
    void answerOne(int client);

    mutable std::mutex mLock;
    Routes mRoutes;
    std::vector<std::string> mRequests;
    int mListener = -1;
    int mStopPipe[2] = {-1, -1};
    int mPort = 0;
    std::thread mThread;
};

} // namespace quorlix::test
