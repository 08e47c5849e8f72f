// The saved-file line reader on any bytes, against a real output folder
// that holds pages, a symlink leading out of it and one leading within, with
// a file beside it that must never be named.
// Input: a log, read as the window reads it, in chunks cut where its first
// byte says; and the same bytes as the path of a well-formed line, so that
// the paths themselves ("..", "//", links) are tried without the fuzzer
// having to find the folder's name first.
//  - an accepted path is part of its line, holds no control character nor
//    line break, begins with the folder, names a file whose real path lies
//    inside the folder's, and is what the line's form alone gives;
//  - where the log is cut into chunks makes no difference;
//  - nothing crashes.

#include "fuzz/FuzzCheck.h"
#include "pipeline/SavedFileFeed.h"
#include "pipeline/SavedFileLine.h"
#include "pipeline/SavedFileLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

using namespace quorlix::pipeline;

namespace {

struct Folder {
    QTemporaryDir scratch;
    QString out;
    QString realOut;

    Folder()
    {
        out = scratch.filePath(QStringLiteral("out"));
        QDir().mkpath(out + QStringLiteral("/h/sub"));
        for (const char *name : {"out/h/index.html", "out/h/a b.html", "out/h/sub/x.css", "outside/secret"}) {
            QDir().mkpath(QFileInfo(scratch.filePath(QLatin1String(name))).path());
            QFile file(scratch.filePath(QLatin1String(name)));
            if (file.open(QIODevice::WriteOnly))
                file.write("x");
        }
        QFile::link(scratch.filePath(QStringLiteral("outside/secret")), out + QStringLiteral("/h/out-link"));
        QFile::link(QStringLiteral("index.html"), out + QStringLiteral("/h/in-link"));
        realOut = QFileInfo(out).canonicalFilePath() + QLatin1Char('/');
    }
};

void checkAccepted(const Folder &folder, const QString &path)
{
    for (const QChar c : path)
        FUZZ_CHECK(c.unicode() >= 0x20 && !(c.unicode() >= 0x7f && c.unicode() <= 0x9f) && c != QChar::LineSeparator
                   && c != QChar::ParagraphSeparator);
    FUZZ_CHECK(path.startsWith(folder.out));
    FUZZ_CHECK(!StripOutputDir(path, folder.out).startsWith(QLatin1Char('/')));
    const QFileInfo file(path);
    FUZZ_CHECK(file.isFile());
    FUZZ_CHECK(file.canonicalFilePath().startsWith(folder.realOut));
}

// Every line the pane would show, read on its own.
QStringList acceptedLines(const Folder &folder, const QString &log)
{
    SavedFileLine reader(folder.out);
    QStringList accepted;
    for (QStringView line : QStringView(log).split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
        const QString path = reader.savedFile(line);
        if (path.isEmpty())
            continue;
        FUZZ_CHECK(SavedFileLine::pathOf(line) == path);
        checkAccepted(folder, path);
        accepted << path;
    }
    return accepted;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const Folder folder;
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    const QStringList whole = acceptedLines(folder, text);
    SavedFileFeed feed;
    feed.reset(folder.out);
    const qsizetype step = size ? 1 + data[0] % 64 : 1;
    QStringList chunked;
    for (qsizetype at = 0; at < text.size(); at += step)
        chunked += feed.add(text.mid(at, step));
    chunked += feed.add(QStringLiteral("\n"));
    FUZZ_CHECK(chunked == whole);

    const QString line = QStringLiteral("2026-12-08 10:00:00 URL:http://h/ [1/1] -> \"") + folder.out + QLatin1Char('/')
                         + text + QStringLiteral("\" [1]");
    acceptedLines(folder, line);
    return 0;
}
