#include "process/ChildReaper.h"

#include "process/PosixProcess.h"

#include <algorithm>

namespace quorlix::process {

ChildReaper &ChildReaper::instance()
{
    static ChildReaper reaper;
    return reaper;
}

ChildReaper::ChildReaper()
{
    mTimer.setInterval(50);
    connect(&mTimer, &QTimer::timeout, this, &ChildReaper::poll);
}

void ChildReaper::reap(pid_t pid)
{
    if (pid <= 0 || posix::reapIfEnded(pid))
        return;
    mPending.push_back(pid);
    if (!mTimer.isActive())
        mTimer.start();
}

void ChildReaper::poll()
{
    std::erase_if(mPending, [](pid_t pid) { return posix::reapIfEnded(pid); });
    if (mPending.empty())
        mTimer.stop();
}

} // namespace quorlix::process
