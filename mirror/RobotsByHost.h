#pragma once

// The robots.txt of each host the crawl meets: fetched the first time an
// address of the host is weighed, saved and logged like any file, and its
// rules asked for every address of that host from then on.

#include "mirror/HttpTransfers.h"
#include "mirror/RobotsRules.h"
#include "mirror/Url.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace quorlix::mirror {

class RobotsByHost {
public:
    // Starts a transfer of url for owner; false when it could not start.
    using Start = std::function<bool(Transfer &, const std::string &url, TransferOwner &owner)>;
    // A robots.txt transfer ended for good: saves the file and returns its
    // name, or logs the failure and returns "".
    using Arrive = std::function<std::string(Transfer &)>;

    RobotsByHost(Start start, Arrive arrive);
    RobotsByHost(const RobotsByHost &) = delete;
    RobotsByHost &operator=(const RobotsByHost &) = delete;

    enum class Answer { Allowed, Refused, Waiting };
    // Whether the rules of url's host allow it; Waiting while that host's
    // robots.txt is fetched (asked for here the first time).
    Answer allows(const Url &url);
    // Starts again the fetches whose retry time has come.
    void pump();
    // A robots.txt is still on its way.
    bool pending() const;
    // At the end: the fetches under way are dropped with their files.
    void abandon(HttpTransfers &transfers);

    // The most of a robots.txt that is read.
    static constexpr std::size_t kMostBytes = 1 << 20;

private:
    struct Host : TransferOwner {
        RobotsByHost *robots = nullptr;
        bool ready = false;
        RobotsRules rules;
        std::unique_ptr<Transfer> transfer;
        void ended(Transfer &transfer, bool retry) override;
    };
    void arrived(Host &host);

    Start mStart;
    Arrive mArrive;
    std::map<std::string, Host> mHosts; // "host:port"
};

} // namespace quorlix::mirror
