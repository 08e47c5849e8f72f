#include "pipeline/Sitemap.h"

#include <algorithm>
#include <iterator>

namespace quorlix::pipeline {

namespace {

const QByteArray kLineEnd = "\r\n";

// Signs written by name: xchm reads no numeric references, and kchmviewer
// reads these names the same whatever code page it takes the help file to
// be in (unlike the names of Latin-1 letters, which stay numeric).
struct NamedSign {
    char32_t code;
    const char *name;
};
constexpr NamedSign kNamedSigns[] = {
    {0x0192, "fnof"},   {0x0394, "Delta"},  {0x03A0, "Pi"},     {0x03A3, "Sigma"},  {0x03B2, "beta"},
    {0x03B3, "gamma"},  {0x03B4, "delta"},  {0x03B7, "eta"},    {0x03B8, "theta"},  {0x03BB, "lambda"},
    {0x03BC, "mu"},     {0x03BD, "nu"},     {0x03C0, "pi"},     {0x03C1, "rho"},    {0x2003, "emsp"},
    {0x2013, "ndash"},  {0x2014, "mdash"},  {0x2018, "lsquo"},  {0x2019, "rsquo"},  {0x201C, "ldquo"},
    {0x201D, "rdquo"},  {0x201E, "bdquo"},  {0x2020, "dagger"}, {0x2021, "Dagger"}, {0x2022, "bull"},
    {0x2026, "hellip"}, {0x20AC, "euro"},   {0x2122, "trade"},  {0x2192, "rarr"},   {0x21B5, "crarr"},
    {0x21D2, "rArr"},   {0x2208, "isin"},   {0x2209, "notin"},  {0x220F, "prod"},   {0x2248, "asymp"},
    {0x2260, "ne"},     {0x2264, "le"},     {0x2265, "ge"}};

const char *nameOf(char32_t code)
{
    const auto *end = std::end(kNamedSigns);
    const auto *found = std::lower_bound(std::begin(kNamedSigns), end, code,
                                         [](const NamedSign &sign, char32_t c) { return sign.code < c; });
    return found != end && found->code == code ? found->name : nullptr;
}

} // namespace

QByteArray SitemapEscaped(const QString &text)
{
    QByteArray out;
    out.reserve(text.size());
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
            else if (const char *name = nameOf(c))
                out += '&' + QByteArray(name) + ';';
            else if (c >= 0xA0 && (c < 0xD800 || c > 0xDFFF))
                out += "&#" + QByteArray::number(static_cast<uint>(c)) + ';';
            else if (c == '\t' || c == '\n' || c == '\r')
                out += ' ';
            // Other control characters (and lone surrogates) have no place in a name.
        }
    }
    return out;
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
