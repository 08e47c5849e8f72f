#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace quorlix::test {

// Runs an action once, as soon as a condition holds. The condition is looked
// at from whatever event loop is running, so a test can act in the middle of
// a conversion whose click has not returned yet (the runner's read loop lets
// events run between reads).
class ConditionTrigger : public QObject {
public:
    ConditionTrigger(std::function<bool()> condition, std::function<void()> action, int intervalMs = 10)
        : mCondition(std::move(condition)), mAction(std::move(action))
    {
        connect(&mTimer, &QTimer::timeout, this, [this] {
            if (mFired || !mCondition())
                return;
            mFired = true;
            mTimer.stop();
            mAction();
        });
        mTimer.start(intervalMs);
    }

    bool fired() const { return mFired; }

private:
    std::function<bool()> mCondition;
    std::function<void()> mAction;
    QTimer mTimer;
    bool mFired = false;
};

} // namespace quorlix::test
