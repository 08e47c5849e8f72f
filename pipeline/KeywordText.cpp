#include "pipeline/KeywordText.h"

#include <QSet>

#include <algorithm>


namespace quorlix::pipeline {

namespace {

bool isDecoration(QChar c)
{
    switch (c.unicode()) {
    case 0x25C6: // ◆
    case 0x25C7: // ◇
    case 0x00B6: // ¶
    case 0x00A7: // §
    case 0x2693: // ⚓
    case 0x2020: // †
    case 0x2022: // •
    case 0x25BA: // ►
    case 0x25B8: // ▸
    case 0x25B6: // ▶
    case 0x2191: // ↑, RDoc's "back to top" after a heading
    case 0x200B: // zero-width space, joiners and the byte-order mark
    case 0x200C:
    case 0x200D:
    case 0x2060:
    case 0xFEFF:
        return true;
    default:
        return false;
    }
}

// The length of a section number and the blank after it at the start of
// text ("1. ", "16.2 ", "1.1.10. ", "A.3 "); 0 when there is none, or when
// nothing follows it.
qsizetype sectionNumberLength(const QString &text)
{
    qsizetype at = 0;
    const qsizetype size = text.size();
    auto digits = [&] {
        const qsizetype from = at;
        while (at < size && text[at] >= QLatin1Char('0') && text[at] <= QLatin1Char('9'))
            ++at;
        return at > from;
    };
    bool dotted = false;
    if (size > 1 && text[0] >= QLatin1Char('A') && text[0] <= QLatin1Char('Z') && text[1] == QLatin1Char('.')) {
        at = 1; // an appendix: "A.3"
    } else if (!digits()) {
        return 0;
    }
    while (at + 1 < size && text[at] == QLatin1Char('.') && text[at + 1].isDigit()) {
        ++at;
        digits();
        dotted = true;
    }
    if (at == 1 && !dotted && !text[0].isDigit())
        return 0;
    if (at < size && text[at] == QLatin1Char('.'))
        ++at;
    if (at >= size || text[at] != QLatin1Char(' '))
        return 0;
    ++at;
    return at < size ? at : 0;
}

} // namespace

QString CleanedKeyword(const QString &text)
{
    // Most texts come collapsed already (the page reader collapses them).
    const bool collapsed = !text.isEmpty() && !text.front().isSpace() && !text.back().isSpace()
                        && !text.contains(QLatin1String("  ")) && !text.contains(QChar(0xA0));
    QString out = collapsed ? text : text.simplified();
    for (bool changed = true; changed && !out.isEmpty();) {
        changed = false;
        if (isDecoration(out.front()) || out.startsWith(QLatin1String("# "))) {
            out.remove(0, 1);
            changed = true;
        }
        if (!out.isEmpty() && (isDecoration(out.back()) || out.endsWith(QLatin1String(" #")) || out == QLatin1String("#"))) {
            out.chop(1);
            changed = true;
        }
        // The link sign some themes put at the end of a heading.
        if (out.endsWith(QStringLiteral("\U0001F517"))) {
            out.chop(2);
            changed = true;
        }
        out = out.trimmed();
    }
    const qsizetype numbered = sectionNumberLength(out);
    if (numbered > 0)
        out.remove(0, numbered);
    return out;
}

namespace {

bool startsName(QChar c)
{
    return c.isLetter() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

bool inName(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

// The names joined by dots at the start of a text ("fs.promises.readFile").
struct DottedPath {
    int names = 0;
    qsizetype lastName = 0; // where the last name begins
    qsizetype end = 0;      // where the path ends
};

DottedPath dottedPathAt(const QString &text)
{
    DottedPath path;
    qsizetype at = 0;
    while (at < text.size() && startsName(text[at])) {
        path.lastName = at;
        while (at < text.size() && inName(text[at]))
            ++at;
        ++path.names;
        path.end = at;
        if (at + 1 >= text.size() || text[at] != QLatin1Char('.'))
            break;
        ++at;
    }
    return path;
}

// Nothing, or a parameter list: what may follow a name for the whole text
// to be that name.
bool isNothingOrParameters(QStringView rest)
{
    return rest.isEmpty() || (rest.startsWith(QLatin1Char('(')) && rest.endsWith(QLatin1Char(')')));
}

// The endings of file names and host names: "index.html", "Node.js",
// "example.com" name no member "html", "js" or "com".
bool isFileEnding(const QString &name)
{
    static const QSet<QString> endings{"html", "htm",  "xhtml", "shtml", "php", "asp",  "aspx", "jsp",  "txt",  "md",
                                       "rst",  "adoc", "tex",   "json",  "js",  "mjs",  "cjs",  "ts",   "jsx",  "tsx",
                                       "css",  "scss", "less",  "xml",   "xsl", "xsd",  "svg",  "png",  "jpg",  "jpeg",
                                       "gif",  "ico",  "webp",  "pdf",   "py",  "pyc",  "rb",   "pl",   "sh",   "bash",
                                       "bat",  "cmd",  "ps1",   "cc",    "cpp", "cxx",  "hpp",  "hxx",  "java", "jar",
                                       "go",   "rs",   "kt",    "swift", "zip", "gz",   "tgz",  "bz2",  "xz",   "tar",
                                       "exe",  "dll",  "so",    "dylib", "lib", "yml",  "yaml", "toml", "ini",  "cfg",
                                       "conf", "log",  "csv",   "tsv",   "sql", "lock", "deb",  "rpm",  "com",  "org"};
    return endings.contains(name.toLower());
}

} // namespace

QString LastNameOfPath(const QString &text)
{
    const DottedPath path = dottedPathAt(text);
    const QStringView rest = QStringView(text).mid(path.end);
    if (path.names < 2 || !isNothingOrParameters(rest))
        return {};
    const QString last = text.mid(path.lastName, path.end - path.lastName);
    // A one-letter name is no more a member than an ending ("stdio.h").
    if (last.size() < 2 || (rest.isEmpty() && isFileEnding(last)))
        return {};
    return last;
}

bool IsPathOfNames(const QString &text)
{
    const DottedPath path = dottedPathAt(text);
    return path.names > 1 && path.end == text.size();
}

QString NameAfterItsKind(const QString &text)
{
    // One to three words of letters before the colon: "Class",
    // "Static method", "Class property".
    const qsizetype colon = text.indexOf(QLatin1String(": "));
    if (colon <= 0 || colon > 24 || !text.front().isUpper() || text.left(colon).count(QLatin1Char(' ')) > 2
        || !std::all_of(text.cbegin(), text.cbegin() + colon,
                        [](QChar c) { return c.isLetter() || c == QLatin1Char(' '); }))
        return {};
    const QString name = text.mid(colon + 2);
    const DottedPath path = dottedPathAt(name);
    const QStringView rest = QStringView(name).mid(path.end);
    if (path.names == 0 || !isNothingOrParameters(rest) || (path.names > 1 && LastNameOfPath(name).isEmpty()))
        return {};
    return name;
}

bool IsRunningText(const QString &text, bool wholeSentences)
{
    static const QSet<QString> joining{"the", "of",   "to", "and", "a",    "an", "or", "in",   "for",
                                       "on",  "with", "by", "at",  "from", "as", "is", "that", "this"};
    const qsizetype blanks = text.count(QLatin1Char(' '));
    if (blanks < 2)
        return false;
    if (wholeSentences && blanks >= 12)
        return true;
    return joining.contains(text.mid(text.lastIndexOf(QLatin1Char(' ')) + 1).toLower());
}

QString WithoutNumberedLabel(const QString &text)
{
    // One capitalised word, then a number, a Roman one or a letter, a dot
    // and the title.
    qsizetype at = 0;
    const qsizetype size = text.size();
    if (size == 0 || !text[0].isUpper())
        return {};
    while (++at < size && text[at].isLower()) {
    }
    if (at < 3 || at >= size || text[at] != QLatin1Char(' '))
        return {};
    const qsizetype number = ++at;
    const auto roman = [](QChar c) { return QStringLiteral("IVXLCDM").contains(c); };
    if (at < size && text[at].isDigit())
        while (at < size && text[at].isDigit())
            ++at;
    else if (at < size && roman(text[at]))
        while (at < size && roman(text[at]))
            ++at;
    else if (at < size && text[at] >= QLatin1Char('A') && text[at] <= QLatin1Char('Z'))
        ++at;
    if (at == number || at + 2 >= size || text[at] != QLatin1Char('.') || text[at + 1] != QLatin1Char(' '))
        return {};
    return text.mid(at + 2);
}

QPair<QString, QString> SplitQualifier(const QString &text)
{
    if (!text.endsWith(QLatin1Char(')')))
        return {text, {}};
    // The last parenthesis that opens after a blank and closes at the end.
    int level = 0;
    for (qsizetype i = text.size() - 1; i > 0; --i) {
        if (text[i] == QLatin1Char(')'))
            ++level;
        else if (text[i] == QLatin1Char('(') && --level == 0) {
            if (text[i - 1] != QLatin1Char(' '))
                return {text, {}};
            const QString head = text.left(i).trimmed();
            if (head.isEmpty())
                return {text, {}};
            return {head, text.mid(i + 1, text.size() - i - 2).trimmed()};
        }
    }
    return {text, {}};
}

namespace {

// What a character sorts as before case and accents break ties: "É" and
// "é" among the e's, as readers look for them, not after the z's.
QChar primary(QChar c)
{
    if (c.unicode() < 0x80)
        return c.unicode() >= 'A' && c.unicode() <= 'Z' ? QChar(c.unicode() + 32) : c;
    if (c.decompositionTag() == QChar::Canonical)
        c = c.decomposition().front();
    return c.toCaseFolded();
}

// The order of NaturalCompare, for texts read a character at a time
// through at (which may change each as it is read).
template <typename At>
int naturalOrder(const QString &a, const QString &b, At at)
{
    // Where both begin with the same ASCII they read the same: that start is
    // passed over at once, back to where the number it ends in begins. A
    // large site's index sorts texts that share most of their start.
    const qsizetype shorter = std::min(a.size(), b.size());
    const ushort *ua = a.utf16(), *ub = b.utf16();
    qsizetype same = 0;
    while (same < shorter && ua[same] == ub[same] && ua[same] < 0x80)
        ++same;
    while (same > 0 && ua[same - 1] >= '0' && ua[same - 1] <= '9')
        --same;
    qsizetype i = same, j = same;
    while (i < a.size() && j < b.size()) {
        const QChar ca = at(a, i), cb = at(b, j);
        if (ca.isDigit() && cb.isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && at(a, ei).isDigit())
                ++ei;
            while (ej < b.size() && at(b, ej).isDigit())
                ++ej;
            // Leading zeros do not count; then the longer run is the larger number.
            qsizetype si = i, sj = j;
            while (si + 1 < ei && at(a, si) == QLatin1Char('0'))
                ++si;
            while (sj + 1 < ej && at(b, sj) == QLatin1Char('0'))
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            for (; si < ei; ++si, ++sj)
                if (at(a, si) != at(b, sj))
                    return at(a, si) < at(b, sj) ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        const QChar la = primary(ca), lb = primary(cb);
        if (la != lb)
            return la < lb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    // Alike but for case or leading zeros: the first unit that differs
    // decides, then the length.
    for (qsizetype k = same; k < shorter; ++k)
        if (at(a, k) != at(b, k))
            return at(a, k) < at(b, k) ? -1 : 1;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

int NaturalCompare(const QString &a, const QString &b)
{
    return naturalOrder(a, b, [](const QString &text, qsizetype at) { return text[at]; });
}

int NaturalCompareFolded(const QString &a, const QString &b)
{
    // A character beyond the BMP folds as a pair of units, not one by one:
    // where the order reads one, the texts are folded whole. Told as they
    // are read, as sorting a large site's index compares each text often.
    bool surrogate = false;
    const int order = naturalOrder(a, b, [&surrogate](const QString &text, qsizetype at) {
        const QChar c = text[at];
        if (c.unicode() < 0x80) // most keywords are ASCII: no table
            return c.unicode() >= 'A' && c.unicode() <= 'Z' ? QChar(c.unicode() + 32) : c;
        surrogate = surrogate || c.isSurrogate();
        return c.toCaseFolded();
    });
    return surrogate ? NaturalCompare(a.toCaseFolded(), b.toCaseFolded()) : order;
}

} // namespace quorlix::pipeline
