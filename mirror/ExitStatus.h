#pragma once

// GNU Wget's exit statuses.

namespace quorlix::mirror {

enum ExitStatus { Success = 0, GenericError = 1, IoError = 3, NetworkFailure = 4, SslFailure = 5, ServerError = 8 };

// A run ended by a cancel (SIGTERM): 128 + 15, as a shell reports it.
inline constexpr int kCancelledStatus = 143;

// The status a run ends with: the lowest non-zero one met, as GNU Wget
// returns.
class RunStatus {
public:
    void note(int status)
    {
        if (status != Success && (mStatus == Success || status < mStatus))
            mStatus = status;
    }
    int value() const { return mStatus; }

private:
    int mStatus = Success;
};

} // namespace quorlix::mirror
