#pragma once

#include <QString>
#include <QStringList>

namespace quorlix::pipeline {

// The last lines of a program's log that say why it failed, for a message
// box: the downloader's errors ("ERROR 404", "failed: Connection refused",
// "unable to resolve host address", "Unsupported scheme"…), at most `most`
// of them, oldest first, trimmed.
QStringList FailureLines(const QString &log, int most);

// The last `most` lines of a log that are not blank, oldest first, trimmed.
QStringList LastLines(const QString &log, int most);

// Lines for a message box, each indented, one per line.
QString QuotedLines(const QStringList &lines);

} // namespace quorlix::pipeline
