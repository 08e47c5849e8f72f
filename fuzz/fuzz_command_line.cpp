// The command line splitter, on any text: it never crashes or hangs, and
//  - no word contains a double quote;
//  - no character is lost: the words joined equal the input with every
//    double quote and every blank or tab outside quotes taken out;
//  - quoting every word and joining them with one blank gives a line that
//    splits into the same words again.

#include "fuzz/FuzzCheck.h"
#include "process/CommandLineSplitter.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

using quorlix::process::SplitCommandLine;

namespace {

bool isBlank(QChar ch) { return ch == QLatin1Char(' ') || ch == QLatin1Char('\t'); }

// The input without its quotes and without the blanks that separate words.
QString keptCharacters(const QString &line)
{
    QString kept;
    bool quoted = false;
    for (const QChar ch : line) {
        if (ch == QLatin1Char('"'))
            quoted = !quoted;
        else if (quoted || !isBlank(ch))
            kept += ch;
    }
    return kept;
}

QString quotedAndJoined(const QStringList &words)
{
    QString line;
    for (const QString &word : words) {
        if (!line.isEmpty())
            line += QLatin1Char(' ');
        line += QLatin1Char('"') + word + QLatin1Char('"');
    }
    return line;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString line = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QStringList words = SplitCommandLine(line);

    for (const QString &word : words)
        FUZZ_CHECK(!word.contains(QLatin1Char('"')));
    FUZZ_CHECK(words.join(QString()) == keptCharacters(line));
    FUZZ_CHECK(SplitCommandLine(quotedAndJoined(words)) == words);
    // A line with no quote and no blank is one word (or none when empty).
    if (!line.contains(QLatin1Char('"')) && !line.contains(QLatin1Char(' ')) && !line.contains(QLatin1Char('\t')))
        FUZZ_CHECK(words.size() == (line.isEmpty() ? 0 : 1));
    return 0;
}
