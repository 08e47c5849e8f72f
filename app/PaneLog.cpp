#include "app/PaneLog.h"

#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <utility>

namespace quorlix {

void PaneLog::append(const QString &chunk)
{
    if (chunk.isEmpty())
        return;
    const bool unchanged = mDocument->characterCount() == mLengthAfterChunk;
    if (!unchanged) {
        flush();
        mBreaksInBlock = kLinesPerBlock;
        mOpenLineLength = 0;
    }
    const bool completesLineEnd = mEndedInCR && unchanged && chunk.front() == QLatin1Char('\n');
    mEndedInCR = chunk.back() == QLatin1Char('\r');

    QString text;
    text.reserve(chunk.size());
    qsizetype lastBreak = -1;
    for (qsizetype i = completesLineEnd ? 1 : 0; i < chunk.size(); ++i) {
        const QChar c = chunk[i];
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r')) {
            text += c;
            continue;
        }
        lastBreak = text.size();
        if (c == QLatin1Char('\r') && i + 1 < chunk.size() && chunk[i + 1] == QLatin1Char('\n'))
            ++i;
        if (++mBreaksInBlock < kLinesPerBlock) {
            text += QChar::LineSeparator;
        } else {
            text += QChar::ParagraphSeparator; // a new block
            mBreaksInBlock = 0;
        }
    }
    if (lastBreak < 0 && mOpenLineLength >= kLongLine) {
        mHeldBack += text;
        mOpenLineLength += text.size();
        return;
    }
    mOpenLineLength = lastBreak < 0 ? mOpenLineLength + text.size() : text.size() - lastBreak - 1;
    if (!mHeldBack.isEmpty())
        text = std::exchange(mHeldBack, QString()) + text;
    if (!text.isEmpty()) {
        QTextCursor end(mDocument);
        end.movePosition(QTextCursor::End);
        end.insertText(text);
    }
    mLengthAfterChunk = mDocument->characterCount();
}

void PaneLog::flush() const
{
    if (mHeldBack.isEmpty())
        return;
    QTextCursor end(mDocument);
    end.movePosition(QTextCursor::End);
    end.insertText(std::exchange(mHeldBack, QString()));
    mLengthAfterChunk = mDocument->characterCount();
}

void PaneLog::forgetHeldBack()
{
    mHeldBack.clear();
    mOpenLineLength = 0;
}

QString PaneLog::text() const
{
    flush();
    QString text = mDocument->toRawText();
    for (QChar &c : text)
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QLatin1Char('\n');
    return text;
}

bool PaneLog::lastLineOpen() const
{
    if (!mHeldBack.isEmpty())
        return true;
    const int length = mDocument->characterCount(); // one more than the text: the closing break
    if (length <= 1)
        return false;
    const QChar last = mDocument->characterAt(length - 2);
    return last != QChar::ParagraphSeparator && last != QChar::LineSeparator;
}

void PaneLog::forEachLine(const QString &startLine, const std::function<void(const QString &)> &visit) const
{
    flush();
    // The start line's lines are held back until the text is seen to begin
    // with all of them and go on after them.
    const QStringList start = startLine.isEmpty() ? QStringList() : startLine.split(QLatin1Char('\n'));
    QStringList heldBack;
    bool starting = !start.isEmpty();
    for (QTextBlock block = mDocument->firstBlock(); block.isValid(); block = block.next()) {
        const QString blockText = block.text();
        for (const QString &line : blockText.split(QChar::LineSeparator)) {
            if (starting) {
                if (heldBack.size() < start.size() && line == start[heldBack.size()]) {
                    heldBack << line;
                    continue;
                }
                starting = false;
                if (heldBack.size() < start.size())
                    for (const QString &held : std::as_const(heldBack))
                        visit(held);
                heldBack.clear();
            }
            visit(line);
        }
    }
    // The text was the start line and no more, or part of it.
    for (const QString &held : std::as_const(heldBack))
        visit(held);
}

} // namespace quorlix
