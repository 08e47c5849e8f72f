#include "process/TerminatorPlatform.h"

#include "process/PosixProcess.h"

#include <csignal>

namespace quorlix::process {

namespace {

class PosixTerminatorPlatform final : public TerminatorPlatform {
public:
    // No version query exists here that the decision could use: report a
    // failed query, which means "ask to close, do not force".
    Version queryVersion() override { return {}; }

    bool hasTopLevelWindows(std::int32_t processId) override
    {
        return posix::processGroupExists(processId);
    }

    void postClose(std::int32_t processId, CloseMessage message) override
    {
        posix::signalGroup(processId, message == CloseMessage::EndSession ? SIGHUP : SIGTERM);
    }

    bool openProcess(std::int32_t processId) override { return posix::processExists(processId); }

    bool terminateProcess(std::int32_t processId) override
    {
        return posix::signalProcess(processId, SIGKILL) == 0;
    }
};

} // namespace

std::shared_ptr<TerminatorPlatform> TerminatorPlatform::system()
{
    static const auto platform = std::make_shared<PosixTerminatorPlatform>();
    return platform;
}

} // namespace quorlix::process
