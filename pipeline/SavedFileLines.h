#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace quorlix::pipeline {

// The saved files of a download log given one line at a time (without its
// line end), for a log too large to copy whole: the same paths as
// SavedFilePaths on the lines joined by "\n", a path that runs on to the
// next double quote across line ends included.
class SavedFileLines {
public:
    void add(QStringView line);
    // The paths, in order; a path still open at the end runs to the end.
    QStringList finish();

private:
    QStringList mPaths;
    QString mOpenPath;
    bool mPathOpen = false;
};

} // namespace quorlix::pipeline
