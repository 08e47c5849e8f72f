#pragma once

// The conversion log as the output pane's document holds it.

#include <QString>

#include <functional>

class QTextDocument;

namespace quorlix {

// The pane keeps a text layout for every block of its document for as long
// as the block lives, a few hundred bytes each. A large site's log has a
// line for each of tens of thousands of files, so its lines go into blocks
// of kLinesPerBlock, broken inside by line separators: the pane shows them
// as line breaks all the same, and the log reads back the same. Each chunk
// lays its block out again: four lines a block append a log a fifth sooner
// than eight (two: more blocks cost more than they save).
//
// The pane lays a block out again whenever it grows, so a line that goes on
// over many chunks would cost the square of its length: once a line is
// kLongLine characters long, what continues it is held back until a line
// end, a read of the text, or flush() (the window's next paint).
class PaneLog {
public:
    static constexpr int kLinesPerBlock = 4;
    static constexpr qsizetype kLongLine = 4096;

    explicit PaneLog(QTextDocument *document) : mDocument(document) {}

    // The document's text becomes its old text followed by the chunk, line
    // ends and all: "\r\n" is one line end, also when its halves come in two
    // chunks, and a lone "\r" or "\n" is one.
    void append(const QString &chunk);

    // The text held back goes into the document.
    void flush() const;
    // The document is about to be emptied: what was held back goes with it.
    void forgetHeldBack();

    // The text with its line ends as "\n".
    QString text() const;
    // Whether the text ends inside a line (not after a line end, nor empty).
    bool lastLineOpen() const;
    // Every line, in order; the lines that begin the text and are those of
    // startLine are left out when more follows them.
    void forEachLine(const QString &startLine, const std::function<void(const QString &)> &visit) const;

private:
    QTextDocument *mDocument;
    // The latest chunk ended in "\r" and the document has not changed since:
    // a "\n" that begins the next chunk completes that line end.
    bool mEndedInCR = false;
    mutable int mLengthAfterChunk = -1;
    mutable QString mHeldBack;     // continues the document's last line
    qsizetype mOpenLineLength = 0; // of the last line, what is held back included
    // Line separators in the last block since it began; unknown (taken as
    // full) once anything else changed the document.
    int mBreaksInBlock = kLinesPerBlock;
};

} // namespace quorlix
