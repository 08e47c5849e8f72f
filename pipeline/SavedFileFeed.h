#pragma once

#include <QString>
#include <QStringList>

namespace quorlix::pipeline {

// Picks the saved files out of the download log while it arrives: each
// chunk is added as it comes, and the files named on the lines it completes
// are given back at once. A line split between chunks waits for its end.
class SavedFileFeed {
public:
    void reset() { mOpenLine.clear(); }
    // The saved paths on the lines this chunk completes, in order.
    QStringList add(const QString &chunk);

private:
    QString mOpenLine;
};

} // namespace quorlix::pipeline
