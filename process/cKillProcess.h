#pragma once

#include "process/TerminatorPlatform.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace quorlix::process {

// Ends another process given only its ID: first asks it to close, and on the
// platforms where that is known not to be enough, ends it by force.
class cKillProcess {
public:
    explicit cKillProcess(std::shared_ptr<TerminatorPlatform> platform = TerminatorPlatform::system());

    QString Version() const;
    bool KillProcess(std::int32_t lProcessID);
    bool PIDInUse(std::int32_t lProcessID);

    // For tests: the platform flag once DetectPlatform has run.
    bool canTerminate() const { return mCanTerminate; }
    bool initialized() const { return mInitialized; }

private:
    void DetectPlatform();
    bool PostCloseToProcessWindows(std::int32_t lProcessID);

    std::shared_ptr<TerminatorPlatform> mPlatform;
    bool mInitialized = false;
    bool mCanTerminate = false;
};

} // namespace quorlix::process
