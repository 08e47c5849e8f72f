#pragma once

#include "pipeline/SavedFileLine.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quorlix::pipeline {

// The list the downloader keeps of the files it is done with (their links
// converted, or none to convert): a line for each, the path as its log
// names it, appended while it runs. Read from where the last read stopped;
// a line without its end yet waits for it. The names are the site's: a
// path counts only when it is a file inside the output folder.
class FinalFileList {
public:
    FinalFileList() = default;
    ~FinalFileList();
    FinalFileList(const FinalFileList &) = delete;
    FinalFileList &operator=(const FinalFileList &) = delete;

    // The list of a new download into outputFolder, at listPath.
    void reset(const QString &listPath, const QString &outputFolder);
    // Whether the downloader made the list (one that does not know of it
    // makes none).
    bool exists() const;
    // The files listed since the last call, in order.
    QStringList take();

private:
    QString mPath;
    // Kept open once the list is there: the window reads it after every
    // chunk of the log, tens of thousands of times on a large site.
    int mFd = -1;
    QByteArray mOpenLine;
    SavedFileLine mLines{QString()};
};

} // namespace quorlix::pipeline
