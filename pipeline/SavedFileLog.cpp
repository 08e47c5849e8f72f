#include "pipeline/SavedFileLog.h"

#include <QSet>

#include <utility>

namespace quorlix::pipeline {

QString StripOutputDir(const QString &path, const QString &outputDir)
{
    QString folder = outputDir;
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (folder.isEmpty() || !path.startsWith(folder))
        return path;
    QString rest = path.mid(folder.size());
    if (rest.startsWith(QLatin1Char('/')))
        rest.remove(0, 1);
    return rest;
}

QStringList ProjectFileList(QStringList savedPaths, const QString &outputDir)
{
    QSet<QString> seen;
    seen.reserve(savedPaths.size());
    qsizetype kept = 0;
    for (QString &saved : savedPaths) {
        QString relative = StripOutputDir(std::exchange(saved, QString()), outputDir);
        // Once only: Wget can log one file twice (the same page reached as
        // "/" and as "/index.html"), and the help compiler would store a file
        // listed twice two times over.
        if (seen.contains(relative))
            continue;
        seen.insert(relative);
        savedPaths[kept++] = std::move(relative);
    }
    savedPaths.resize(kept);
    return savedPaths;
}

} // namespace quorlix::pipeline
