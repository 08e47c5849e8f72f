#include "pipeline/SavedFileLines.h"

#include <utility>

namespace quorlix::pipeline {

void SavedFileLines::add(QStringView line)
{
    static const QString marker = QStringLiteral("-> \"");
    qsizetype from = 0;
    if (mPathOpen) {
        mOpenPath += QLatin1Char('\n'); // it was opened on an earlier line
        const qsizetype quote = line.indexOf(QLatin1Char('"'));
        if (quote < 0) {
            mOpenPath += line;
            return;
        }
        mOpenPath += line.left(quote);
        mPaths << std::exchange(mOpenPath, QString());
        mPathOpen = false;
        from = quote;
    }
    // The marker has no line end in it, so it lies within one line.
    for (qsizetype at; (at = line.indexOf(marker, from)) >= 0;) {
        const qsizetype start = at + marker.size();
        const qsizetype quote = line.indexOf(QLatin1Char('"'), start);
        if (quote < 0) {
            mOpenPath = line.mid(start).toString();
            mPathOpen = true;
            return;
        }
        mPaths << line.mid(start, quote - start).toString();
        from = quote;
    }
}

QStringList SavedFileLines::finish()
{
    if (mPathOpen)
        mPaths << std::exchange(mOpenPath, QString());
    mPathOpen = false;
    return std::exchange(mPaths, {});
}

} // namespace quorlix::pipeline
