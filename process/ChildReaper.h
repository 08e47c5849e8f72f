#pragma once

#include <QObject>
#include <QTimer>

#include <sys/types.h>
#include <vector>

namespace quorlix::process {

// Collects the exit status of children that the runner has finished with, so
// none is left as a zombie, without ever waiting for one on the window's
// thread: a child that has not ended yet is looked at again a little later.
class ChildReaper : public QObject {
    Q_OBJECT
public:
    static ChildReaper &instance();

    void reap(pid_t pid);
    // Children handed over that have not ended yet.
    std::size_t pending() const { return mPending.size(); }

private:
    ChildReaper();
    void poll();

    std::vector<pid_t> mPending;
    QTimer mTimer;
};

} // namespace quorlix::process
