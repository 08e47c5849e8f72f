#pragma once

// After the compile: is everything the project listed really in the help
// file? And the one line that tells the user what was made.

#include <QString>
#include <QStringList>

namespace quorlix::pipeline {

struct CompiledFileReport {
    bool opened = false;            // false: not there, or not a help file chmlib can read
    qint64 size = 0;                // bytes
    QStringList missing;            // listed files the help file does not hold, in list order
    bool defaultTopicMissing = false;
    bool hasSearch = false;         // it holds a full-text search index
};

// Looks up every file (relative paths, as the project lists them) and the
// default topic in the compiled help file at path.
CompiledFileReport CheckCompiledFile(const QString &path, const QStringList &files, const QString &defaultTopic);

struct HelpFileFigures {
    QString path;
    qsizetype files = 0;
    qsizetype topics = 0;
    qsizetype keywords = 0;
    bool search = false;
    qint64 size = 0;
    qint64 milliseconds = 0;
};

// "Help file: /home/u/quorlix/output.chm: 530 files, 530 topics, 2,104 index
// keywords, full-text search, 14.2 MB, made in 12.4 s"
QString HelpFileSummary(const HelpFileFigures &figures);

} // namespace quorlix::pipeline
