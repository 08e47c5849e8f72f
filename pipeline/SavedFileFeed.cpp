#include "pipeline/SavedFileFeed.h"

#include "pipeline/SavedFileLog.h"

namespace quorlix::pipeline {

QStringList SavedFileFeed::add(const QString &chunk)
{
    const qsizetype lastBreak = chunk.lastIndexOf(QLatin1Char('\n'));
    if (lastBreak < 0) {
        mOpenLine += chunk;
        return {};
    }
    const QString lines = mOpenLine + chunk.left(lastBreak + 1);
    mOpenLine = chunk.mid(lastBreak + 1);
    // Most lines name no file: the pattern is only tried where the marker is.
    if (!lines.contains(QStringLiteral("-> \"")))
        return {};
    QStringList paths;
    for (QStringView line : QStringView(lines).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (line.contains(QStringLiteral("-> \"")))
            paths += SavedFilePaths(line.toString());
    return paths;
}

} // namespace quorlix::pipeline
