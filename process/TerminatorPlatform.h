#pragma once

#include <cstdint>
#include <memory>

namespace quorlix::process {

// What the terminator asks of the system. Here a process's "top-level
// windows" are the members of the process group it leads (every child of the
// runner leads its own group); the close request is a signal to that group
// and the forced end is SIGKILL to the process itself.
class TerminatorPlatform {
public:
    struct Version {
        std::int32_t major = 0;
        std::int32_t minor = 0;
        std::int32_t platformId = 0;
    };
    enum class CloseMessage { Close, EndSession };

    virtual ~TerminatorPlatform() = default;
    // The system version; all zeros when it cannot be had.
    virtual Version queryVersion() = 0;
    // Whether the process leads a group that still has members.
    virtual bool hasTopLevelWindows(std::int32_t processId) = 0;
    // Asks the group led by processId to close (SIGTERM for Close, SIGHUP for
    // EndSession). The outcome is not reported.
    virtual void postClose(std::int32_t processId, CloseMessage message) = 0;
    // Opens the process for termination; false when it cannot be.
    virtual bool openProcess(std::int32_t processId) = 0;
    // Ends the opened process at once. True when that succeeded.
    virtual bool terminateProcess(std::int32_t processId) = 0;

    // The real platform.
    static std::shared_ptr<TerminatorPlatform> system();
};

} // namespace quorlix::process
