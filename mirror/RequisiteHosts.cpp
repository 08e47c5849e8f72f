#include "mirror/RequisiteHosts.h"

#include "mirror/ExitStatus.h"

namespace quorlix::mirror {

std::string RequisiteHosts::keyOf(const std::string &url)
{
    const auto parsed = Url::parse(url);
    return parsed ? keyOf(*parsed) : std::string();
}

const RequisiteHosts::Host *RequisiteHosts::find(const std::string &url) const
{
    if (mHosts.empty())
        return nullptr;
    const auto found = mHosts.find(keyOf(url));
    return found == mHosts.end() ? nullptr : &found->second;
}

bool RequisiteHosts::ask(const std::string &url)
{
    Host &host = mHosts[keyOf(url)];
    if (host.state == State::Asked)
        return false;
    if (host.state == State::Unknown)
        host.state = State::Asked;
    return true;
}

bool RequisiteHosts::endsFor(Transfer &t)
{
    const auto asked = Url::parse(t.url);
    if (!asked || mIsStartHost(*asked))
        return false;
    Host &first = mHosts[keyOf(*asked)];
    if (t.status != 0 && first.state != State::GivenUp)
        first.state = State::Answered;
    else if (first.state == State::Asked)
        first.state = State::Unknown; // the next request asks again
    // The host that failed, after redirects; a start host is never given up.
    const auto reached = Url::parse(t.finalUrl());
    if (!HttpTransfers::connectionFailed(t) || !reached || mIsStartHost(*reached))
        return false;
    Host &last = mHosts[keyOf(*reached)];
    if (last.state == State::GivenUp) {
        t.hostGivenUp = true;
        return true;
    }
    if (!HttpTransfers::hostUnreachable(t))
        return false;
    last = {State::GivenUp, HttpTransfers::exitStatus(t)};
    return true;
}

bool RequisiteHosts::givenUp(const std::string &url) const
{
    const Host *host = find(url);
    return host && host->state == State::GivenUp;
}

int RequisiteHosts::statusOf(const std::string &url) const
{
    const Host *host = find(url);
    return host && host->state == State::GivenUp ? host->status : NetworkFailure;
}

} // namespace quorlix::mirror
