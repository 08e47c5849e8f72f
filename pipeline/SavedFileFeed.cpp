#include "pipeline/SavedFileFeed.h"

namespace quorlix::pipeline {

void SavedFileFeed::reset(const QString &outputFolder)
{
    mLines = SavedFileLine(outputFolder);
    mOpenLine.clear();
}

QStringList SavedFileFeed::add(const QString &chunk)
{
    const auto isBreak = [](QChar c) { return c == QLatin1Char('\n') || c == QLatin1Char('\r'); };
    qsizetype lastBreak = chunk.size() - 1;
    while (lastBreak >= 0 && !isBreak(chunk[lastBreak]))
        --lastBreak;
    if (lastBreak < 0) {
        mOpenLine += chunk;
        return {};
    }
    const QString lines = mOpenLine + chunk.left(lastBreak + 1);
    mOpenLine = chunk.mid(lastBreak + 1);
    QStringList paths;
    qsizetype start = 0;
    for (qsizetype at = 0; at < lines.size(); ++at) {
        if (!isBreak(lines[at]))
            continue;
        // "\r\n" cut between chunks leaves an empty line, which names nothing.
        if (QString path = mLines.savedFile(QStringView(lines).mid(start, at - start)); !path.isEmpty())
            paths << std::move(path);
        start = at + 1;
    }
    return paths;
}

} // namespace quorlix::pipeline
