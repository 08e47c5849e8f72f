#include "process/CommandLineSplitter.h"

#include <QDir>
#include <QFileInfo>

namespace quorlix::process {

QStringList SplitCommandLine(const QString &commandLine)
{
    QStringList words;
    QString word;
    bool inWord = false;   // a word has begun (possibly with an empty quote pair)
    bool inQuotes = false;
    for (const QChar ch : commandLine) {
        if (ch == QLatin1Char('"')) {
            inQuotes = !inQuotes;
            inWord = true;
        } else if (!inQuotes && (ch == QLatin1Char(' ') || ch == QLatin1Char('\t'))) {
            if (inWord) {
                words << word;
                word.clear();
                inWord = false;
            }
        } else {
            word += ch;
            inWord = true;
        }
    }
    if (inWord)
        words << word;
    return words;
}

static bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QString ResolveProgram(const QString &programWord, const QString &workingDir)
{
    QString program = programWord;
    program.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (program.isEmpty())
        return program;
    if (program.startsWith(QLatin1Char('/')))
        return program;
    if (program.contains(QLatin1Char('/')))
        return QDir(workingDir).filePath(program);

    const QString local = QDir(workingDir).filePath(program);
    if (isExecutableFile(local))
        return local;
    const QStringList path = qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &dir : path) {
        const QString candidate = QDir(dir).filePath(program);
        if (isExecutableFile(candidate))
            return candidate;
    }
    return local;
}

} // namespace quorlix::process
