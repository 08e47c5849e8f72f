#pragma once

// What a folder takes on disk, as the files below it add up (hidden ones
// too): how tests bound what a download may leave.

#include <QDirIterator>
#include <QFileInfo>
#include <QString>

namespace quorlix::test {

inline qint64 bytesUnder(const QString &folder)
{
    qint64 total = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        total += QFileInfo(it.next()).size();
    return total;
}

} // namespace quorlix::test
