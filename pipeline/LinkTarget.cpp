#include "pipeline/LinkTarget.h"

#include <QByteArray>
#include <QDir>
#include <QUrl>

namespace quorlix::pipeline {

LinkTarget ResolvedLink(const QString &fromFile, std::string_view href)
{
    LinkTarget target;
    QString text = QString::fromUtf8(href.data(), static_cast<qsizetype>(href.size())).trimmed();
    const qsizetype hash = text.indexOf(QLatin1Char('#'));
    if (hash >= 0) {
        target.fragment = text.mid(hash + 1);
        if (target.fragment.contains(QLatin1Char('%')))
            target.fragment = QUrl::fromPercentEncoding(target.fragment.toUtf8());
        text.truncate(hash);
    }
    if (const qsizetype query = text.indexOf(QLatin1Char('?')); query >= 0)
        text.truncate(query);
    // A scheme ("http:", "mailto:") or a path from the host's root: not a saved file's relative link.
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if ((colon >= 0 && (text.indexOf(QLatin1Char('/')) < 0 || colon < text.indexOf(QLatin1Char('/'))))
        || text.startsWith(QLatin1Char('/')) || text.startsWith(QLatin1Char('\\')))
        return {};
    if (text.isEmpty()) {
        target.file = fromFile;
        return target;
    }
    const qsizetype slash = fromFile.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? QString() : fromFile.left(slash + 1);
    if (text.contains(QLatin1Char('%')))
        text = QUrl::fromPercentEncoding(text.toUtf8());
    // Most links are plain names: cleaning the path is for those that climb.
    QString path = folder + text;
    if (text.contains(QLatin1String("..")) || text.contains(QLatin1String("./")) || text.contains(QLatin1String("//"))
        || text == QLatin1String("."))
        path = QDir::cleanPath(path);
    if (text.endsWith(QLatin1Char('/'))) // a folder's link leads to its index page
        path += QLatin1String(path.endsWith(QLatin1Char('/')) ? "index.html" : "/index.html");
    if (path.startsWith(QLatin1String("../")) || path == QLatin1String("..") || path.startsWith(QLatin1Char('/')))
        return {};
    target.file = path;
    return target;
}

} // namespace quorlix::pipeline
