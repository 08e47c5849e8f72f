// The path from a download log to the help project's bytes, on any text.
// Input: the output folder on the first line, the log after it.
//  - the project has its fixed lines in order, every line ending in CRLF;
//  - "Compiled file=" names output.chm in the folder;
//  - every "[FILES]" line is the path of a saved-file line, with the folder
//    (and the one "/" after it) removed from its front; each listed once, in
//    the order of first appearance; none holds a line end;
//  - "Default topic=" is the first of them.

#include "fuzz/FuzzCheck.h"
#include "pipeline/HelpProject.h"
#include "pipeline/PathJoin.h"
#include "pipeline/SavedFileLine.h"
#include "pipeline/SavedFileLog.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

using namespace quorlix::pipeline;

namespace {

// The path of every saved-file line, in order.
QStringList linePaths(const QString &log)
{
    QStringList paths;
    for (QStringView line : QStringView(log).split(QLatin1Char('\n')))
        if (const QStringView path = SavedFileLine::pathOf(line); !path.isEmpty())
            paths << path.toString();
    return paths;
}

// The path with the folder (backslashes read as "/") taken off its front,
// and then the one "/" that begins what is left.
QString relativeTo(const QString &folder, const QString &capture)
{
    QString slashed = folder;
    slashed.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (slashed.isEmpty() || !capture.startsWith(slashed))
        return capture;
    const QString rest = capture.mid(slashed.size());
    return rest.startsWith(QLatin1Char('/')) ? rest.mid(1) : rest;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const qsizetype newline = input.indexOf(QLatin1Char('\n'));
    QString folder = newline < 0 ? input : input.left(newline);
    folder.remove(QLatin1Char('\r'));
    QString log = newline < 0 ? QString() : input.mid(newline + 1);
    // The log is read back from the output pane, which turns every line end
    // ("\r\n", "\r" or "\n") into a line break and gives it back as "\n".
    log.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    log.replace(QLatin1Char('\r'), QLatin1Char('\n'));

    const QStringList captures = linePaths(log);
    const QStringList files = ProjectFileList(captures, folder);
    if (files.isEmpty()) {
        FUZZ_CHECK(captures.isEmpty());
        return 0; // no project is written for a log without saved files
    }

    // Listed once each, at the place of the first capture that gives it.
    QSet<QString> listed;
    qsizetype next = 0;
    for (const QString &capture : captures) {
        const QString entry = relativeTo(folder, capture);
        if (listed.contains(entry))
            continue;
        FUZZ_CHECK(next < files.size() && files.at(next) == entry);
        listed.insert(entry);
        ++next;
    }
    FUZZ_CHECK(next == files.size());

    const QString compiled = BuildPath(folder, QLatin1String(kCompiledFileName));
    const QByteArray bytes = HelpProjectBytes(compiled, files);
    FUZZ_CHECK(bytes.endsWith("\r\n"));
    // No listed path holds a line end, so every line is one entry.
    QList<QByteArray> lines = bytes.split('\n');
    FUZZ_CHECK(lines.takeLast().isEmpty());
    QStringList written;
    for (QByteArray &line : lines) {
        FUZZ_CHECK(line.endsWith('\r'));
        line.chop(1);
        FUZZ_CHECK(!line.contains('\r'));
        written << QString::fromLocal8Bit(line);
    }

    QStringList expected{QStringLiteral("[OPTIONS]"),
                         QStringLiteral("Compatibility=1.1 or later"),
                         QStringLiteral("Compiled file=") + compiled,
                         QStringLiteral("Default topic=") + files.first(),
                         QStringLiteral("Display compile progress=No"),
                         QStringLiteral("Language=0x089 English (standard)"),
                         QStringLiteral("Title=") + QLatin1String(kHelpTitle),
                         QStringLiteral("Contents file=") + QLatin1String(kContentsFileName),
                         QStringLiteral("Index file=") + QLatin1String(kIndexFileName),
                         QStringLiteral("Full-text search=Yes"),
                         QString(),
                         QStringLiteral("[FILES]")};
    expected += files;
    expected << QString() << QStringLiteral("[INFOTYPES]") << QString();
    FUZZ_CHECK(written == expected);
    return 0;
}
