#include "pipeline/Sitemap.h"

#include <algorithm>

namespace quorlix::pipeline {

namespace {

const QByteArray kLineEnd = "\r\n";

} // namespace

QByteArray SitemapEscaped(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
    AppendSitemapEscaped(out, text);
    return out;
}

void AppendSitemapEscaped(QByteArray &out, QStringView text)
{
    for (auto it = text.cbegin(); it != text.cend(); ++it) {
        char32_t c = it->unicode();
        if (it->isHighSurrogate() && it + 1 != text.cend() && (it + 1)->isLowSurrogate()) {
            c = QChar::surrogateToUcs4(*it, *(it + 1));
            ++it;
        }
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            if (c >= 0x20 && c < 0x7F)
                out += static_cast<char>(c);
            else if (c >= 0xA0 && (c < 0xD800 || c > 0xDFFF))
                out.append("&#").append(QByteArray::number(static_cast<uint>(c))).append(';');
            else if (c == '\t' || c == '\n' || c == '\r')
                out += ' ';
            // Other control characters (and lone surrogates) have no place in a name.
        }
    }
}

QByteArray SitemapHead(const QByteArray &properties)
{
    return "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">" + kLineEnd + "<HTML>" + kLineEnd + "<HEAD>" + kLineEnd
         + "<meta name=\"GENERATOR\" content=\"Quorlix\">" + kLineEnd + "</HEAD><BODY>" + kLineEnd
         + "<OBJECT type=\"text/site properties\">" + kLineEnd + properties + "</OBJECT>" + kLineEnd;
}

QByteArray SitemapTail()
{
    return "</BODY></HTML>" + kLineEnd;
}

QByteArray SitemapEntry(const QList<QPair<QString, QString>> &params, int depth)
{
    const QByteArray indent(depth, '\t');
    QByteArray out = indent + "<LI> <OBJECT type=\"text/sitemap\">" + kLineEnd;
    for (const auto &[name, value] : params)
        out += indent + "\t<param name=\"" + SitemapEscaped(name) + "\" value=\"" + SitemapEscaped(value) + "\">"
             + kLineEnd;
    out += indent + "\t</OBJECT>" + kLineEnd;
    return out;
}

void AppendNamedEntry(QByteArray &out, QStringView name, QStringView local, int depth)
{
    const QByteArrayView indent = QByteArrayView("\t\t\t\t\t\t\t\t").first(std::clamp(depth, 0, 8));
    out.append(indent).append("<LI> <OBJECT type=\"text/sitemap\">\r\n");
    out.append(indent).append("\t<param name=\"Name\" value=\"");
    AppendSitemapEscaped(out, name);
    out.append("\">\r\n").append(indent).append("\t<param name=\"Local\" value=\"");
    AppendSitemapEscaped(out, local);
    out.append("\">\r\n").append(indent).append("\t</OBJECT>\r\n");
}

bool IsFolderIndexPage(const QString &file)
{
    const QString name = file.mid(file.lastIndexOf(QLatin1Char('/')) + 1).toLower();
    for (const char *stem : {"index.", "default."}) {
        if (!name.startsWith(QLatin1String(stem)))
            continue;
        const QString extension = name.mid(static_cast<qsizetype>(qstrlen(stem)));
        if (!extension.contains(QLatin1Char('.')) && !extension.contains(QLatin1Char('@'))
            && html::isPageName(name.toStdString()))
            return true;
    }
    return false;
}

} // namespace quorlix::pipeline
