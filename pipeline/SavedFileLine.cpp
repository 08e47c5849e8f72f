#include "pipeline/SavedFileLine.h"

#include "pipeline/SavedFileLog.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

#include <sys/stat.h>

namespace quorlix::pipeline {

namespace {

// C0 and C1 controls, DEL, and the line and paragraph separators the pane
// breaks lines at: none is ever part of a downloader's line.
bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7f && u <= 0x9f) || u == 0x2028 || u == 0x2029;
}

} // namespace

QStringView SavedFileLine::pathOf(QStringView line)
{
    // Cheap refusals first: most lines of a log name no file. The line must
    // end in '" [n]', which also keeps the match below to one pass however
    // often the line repeats the marker.
    qsizetype count = line.size() - 1;
    while (count > 0 && line[count - 1].isDigit() && line[count - 1].unicode() < 0x80)
        --count;
    if (line.size() < 30 || !line.endsWith(QLatin1Char(']')) || count == line.size() - 1
        || !line.first(count).endsWith(QLatin1String("\" [")) || std::any_of(line.begin(), line.end(), isControl))
        return {};
    // The address runs to the first " [size] -> \"" (both downloaders print
    // it %-encoded, without blanks); the path runs to the last quote.
    static const QRegularExpression form(QStringLiteral(
        R"re(\A[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} URL:.*? \[[0-9]+(?:/[0-9]+)?\] -> "(.+)" \[[0-9]+\]\z)re"));
    const QRegularExpressionMatch match = form.match(line);
    return match.hasMatch() ? match.capturedView(1) : QStringView();
}

QString SavedFileLine::savedFile(QStringView line)
{
    const QStringView path = pathOf(line);
    return path.isEmpty() ? QString() : fileInFolder(path.toString());
}

QString SavedFileLine::fileInFolder(const QString &logged)
{
    if (logged.isEmpty())
        return {};
    // The downloader was told to save into the folder, so what it saved is
    // named from there: a path spelt otherwise would be listed absolute.
    if (StripOutputDir(logged, mFolder).startsWith(QLatin1Char('/')))
        return {};
    if (mRealFolder.isEmpty()) {
        const QString real = QFileInfo(mFolder.isEmpty() ? QStringLiteral(".") : mFolder).canonicalFilePath();
        if (real.isEmpty())
            return {}; // no folder yet, so no file in it
        mRealFolder = real.endsWith(QLatin1Char('/')) ? real : real + QLatin1Char('/');
    }
    // A site's files lie in a few hundred folders: each folder's real path is
    // found once, and only a name that is itself a link is resolved whole.
    struct stat status;
    if (::lstat(QFile::encodeName(logged).constData(), &status) != 0)
        return {};
    QString real;
    if (S_ISLNK(status.st_mode)) {
        const QFileInfo target(logged);
        if (!target.isFile())
            return {};
        real = target.canonicalFilePath();
    } else if (S_ISREG(status.st_mode)) {
        const qsizetype slash = logged.lastIndexOf(QLatin1Char('/'));
        const QString folder = slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : logged.left(slash);
        auto known = mRealFolders.constFind(folder);
        if (known == mRealFolders.cend())
            known = mRealFolders.insert(folder, QFileInfo(folder).canonicalFilePath());
        real = *known + QLatin1Char('/') + logged.mid(slash + 1);
    }
    return real.startsWith(mRealFolder) ? logged : QString();
}

} // namespace quorlix::pipeline
