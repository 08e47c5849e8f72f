#pragma once

#include "pipeline/SavedFileLine.h"

#include <QString>
#include <QStringList>

namespace quorlix::pipeline {

// Picks the saved files out of the download log while it arrives: each
// chunk is added as it comes, and the files named on the lines it completes
// are given back at once. A line split between chunks waits for its end.
// Lines end where the pane ends them: at "\r\n", "\r" or "\n".
class SavedFileFeed {
public:
    // A new download into outputFolder.
    void reset(const QString &outputFolder);
    // The saved files on the lines this chunk completes, in order.
    QStringList add(const QString &chunk);

private:
    SavedFileLine mLines{QString()};
    QString mOpenLine;
};

} // namespace quorlix::pipeline
