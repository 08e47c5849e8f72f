#include "mirror/RobotsByHost.h"

#include "mirror/LinkSearch.h"

#include <unistd.h>

namespace quorlix::mirror {

RobotsByHost::RobotsByHost(Start start, Arrive arrive) : mStart(std::move(start)), mArrive(std::move(arrive)) {}

RobotsByHost::Answer RobotsByHost::allows(const Url &url)
{
    const std::string key = url.host + ":" + std::to_string(url.port);
    const auto found = mHosts.find(key);
    if (found != mHosts.end() && found->second.ready)
        return found->second.rules.allows(url.path) ? Answer::Allowed : Answer::Refused;
    if (found == mHosts.end()) {
        Host &host = mHosts[key];
        host.robots = this;
        Url address = url;
        address.path = "robots.txt";
        address.query.reset();
        host.transfer = std::make_unique<Transfer>();
        if (!mStart(*host.transfer, address.text(), host))
            arrived(host);
    }
    return Answer::Waiting;
}

void RobotsByHost::Host::ended(Transfer &, bool retry)
{
    if (!retry) {
        robots->arrived(*this);
        return;
    }
    // Started again once retryAt has come (see pump).
    transfer->easy = nullptr;
    transfer->bodyPath.clear();
}

void RobotsByHost::pump()
{
    for (auto &[key, host] : mHosts) {
        if (!host.ready && host.transfer && host.transfer->bodyPath.empty()
            && host.retryAt <= std::chrono::steady_clock::now()) {
            const std::string url = host.transfer->url;
            if (!mStart(*host.transfer, url, host))
                arrived(host);
        }
    }
}

void RobotsByHost::arrived(Host &host)
{
    host.ready = true;
    const std::string file = mArrive(*host.transfer);
    if (!file.empty()) {
        std::string text;
        readFileStart(file, text, kMostBytes);
        host.rules = RobotsRules::parse(text);
    }
    ::unlink(host.transfer->bodyPath.c_str());
    host.transfer.reset();
}

bool RobotsByHost::pending() const
{
    for (const auto &[key, host] : mHosts)
        if (!host.ready)
            return true;
    return false;
}

void RobotsByHost::abandon(HttpTransfers &transfers)
{
    for (auto &[key, host] : mHosts) {
        if (!host.transfer)
            continue;
        if (host.transfer->easy)
            transfers.abandon(*host.transfer);
        if (!host.transfer->bodyPath.empty())
            ::unlink(host.transfer->bodyPath.c_str());
    }
}

} // namespace quorlix::mirror
