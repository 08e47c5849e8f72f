#include "process/cKillProcess.h"

#include "runtime/Runtime.h"

namespace quorlix::process {

cKillProcess::cKillProcess(std::shared_ptr<TerminatorPlatform> platform)
    : mPlatform(std::move(platform))
{
}

QString cKillProcess::Version() const
{
    return QStringLiteral("Kill Process Class v0.1 BETA - asks a process group to close, "
                          "ends the process by force where the platform needs it");
}

bool cKillProcess::KillProcess(std::int32_t lProcessID)
{
    if (!mInitialized)
        DetectPlatform();
    if (!PostCloseToProcessWindows(lProcessID))
        return false;
    if (!mCanTerminate)
        return true;
    if (!mPlatform->openProcess(lProcessID))
        return false;
    return mPlatform->terminateProcess(lProcessID);
}

bool cKillProcess::PIDInUse(std::int32_t lProcessID)
{
    const bool inUse = mPlatform->hasTopLevelWindows(lProcessID);
    runtime::DoEvents();
    return inUse;
}

void cKillProcess::DetectPlatform()
{
    // The test is Windows' (which versions need a forced end). On this
    // platform queryVersion() returns zeros, so mCanTerminate stays false and
    // the SIGHUP request and the SIGKILL are reached only from the tests,
    // through a fake platform that reports a version.
    const TerminatorPlatform::Version v = mPlatform->queryVersion();
    mCanTerminate = (v.platformId == 1 && (v.major > 4 || (v.major == 4 && v.minor == 0)))
                    || (v.major == 4 && v.minor > 0);
    mInitialized = true;
}

bool cKillProcess::PostCloseToProcessWindows(std::int32_t lProcessID)
{
    if (!mPlatform->hasTopLevelWindows(lProcessID))
        return false;
    mPlatform->postClose(lProcessID, mCanTerminate ? TerminatorPlatform::CloseMessage::EndSession
                                                   : TerminatorPlatform::CloseMessage::Close);
    return true;
}

} // namespace quorlix::process
