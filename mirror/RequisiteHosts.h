#pragma once

// The requisites' hosts (hosts other than a start address's), as far as
// they can be reached. Until such a host has answered once, one request at
// a time goes to it (its robots.txt, else one of its requisites), so a host
// that never answers holds one of the transfers, not all of them. One that
// fails in the connection itself (an unknown name, a refusal, no answer in
// time, no TLS agreed) is given up: every further request to it ends at
// once with a line of its own, so a CDN out of reach costs the run one
// timeout, not one for each of its files. A start host is none of these:
// its faults stay GNU Wget's, address by address.

#include "mirror/HttpTransfers.h"
#include "mirror/Url.h"

#include <functional>
#include <string>
#include <unordered_map>

namespace quorlix::mirror {

class RequisiteHosts {
public:
    using IsStartHost = std::function<bool(const Url &)>;
    explicit RequisiteHosts(IsStartHost isStartHost) : mIsStartHost(std::move(isStartHost)) {}

    // Whether a requisite of url's host may be asked for now (then the
    // request is counted): not while the host's first answer is awaited.
    bool ask(const std::string &url);
    // A transfer ended: true when it ends for good because its host was
    // given up, now (its fault is the first, told in its own words) or
    // before (then hostGivenUp is set: its line is the given-up one).
    // Neither is tried again.
    bool endsFor(Transfer &transfer);
    // The host of an absolute address was given up.
    bool givenUp(const std::string &url) const;
    // The exit status of the fault that gave the host of url up; a request
    // that ends because of it counts the same.
    int statusOf(const std::string &url) const;

private:
    enum class State { Unknown, Asked, Answered, GivenUp };
    struct Host {
        State state = State::Unknown;
        int status = 0; // of the fault that gave it up
    };
    static std::string keyOf(const Url &url) { return url.host + ":" + std::to_string(url.port); }
    static std::string keyOf(const std::string &url);
    const Host *find(const std::string &url) const;

    IsStartHost mIsStartHost;
    std::unordered_map<std::string, Host> mHosts; // "host:port"
};

} // namespace quorlix::mirror
