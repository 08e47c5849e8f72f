#pragma once

// Documentation sites built by real generators (tests/fixtures/generators),
// read as a conversion reads them, and the index written from them read
// back as a reader uses it: typing a name into the Index tab.

#include "html/PageReader.h"
#include "pipeline/SavedPages.h"

#include <QDirIterator>

#include <array>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>

namespace quorlix::testing {

struct ReadSite {
    QStringList files; // relative to the folder above the site, the start page first
    pipeline::SavedPages pages;
};

// Every file of the site in root, as if saved into "<host>/" beside it.
inline ReadSite readSite(const QString &root, const QString &host = QStringLiteral("site"))
{
    ReadSite site;
    QStringList rest;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString relative = it.next().mid(root.size() + 1);
        (relative == QLatin1String("index.html") ? site.files : rest) << host + QLatin1Char('/') + relative;
    }
    rest.sort();
    site.files << rest;
    for (const QString &file : site.files) {
        if (!html::isPageName(file.toStdString()))
            continue;
        QFile in(root + file.mid(host.size()));
        if (!in.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = in.readAll();
        site.pages.insert(file, html::readPage(std::string_view(bytes.constData(), std::size_t(bytes.size()))));
    }
    return site;
}

// A sitemap value as text: its character references decoded (numeric ones,
// the markup signs and the typographic signs it writes by name).
inline QString sitemapText(const QString &value)
{
    static const QHash<QString, QString> named{
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"mdash", "\u2014"}, {"ndash", "\u2013"},
        {"hellip", "\u2026"}, {"lsquo", "\u2018"}, {"rsquo", "\u2019"}, {"ldquo", "\u201c"}, {"rdquo", "\u201d"}};
    static const QRegularExpression reference(QStringLiteral("&(#\\d+|[A-Za-z]+);"));
    QString out;
    qsizetype at = 0;
    for (auto it = reference.globalMatch(value); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        out += value.mid(at, match.capturedStart() - at);
        const QString name = match.captured(1);
        if (name.startsWith(QLatin1Char('#')))
            out += QString::fromUcs4(std::array<char32_t, 1>{char32_t(name.mid(1).toUInt())}.data(), 1);
        else
            out += named.value(name, match.captured(0));
        at = match.capturedEnd();
    }
    return out + value.mid(at);
}

// The sitemap's entries, a line each: depth, name and place.
struct SitemapLine {
    int depth;
    QString name;
    QString local;
};

inline QList<SitemapLine> sitemapLines(const QByteArray &bytes)
{
    static const QRegularExpression param(QStringLiteral("<param name=\"(Name|Local)\" value=\"([^\"]*)\">"));
    QList<SitemapLine> lines;
    int depth = -1;
    for (const QByteArray &raw : bytes.split('\n')) {
        const QString line = QString::fromLatin1(raw).trimmed();
        if (line == QLatin1String("<UL>"))
            ++depth;
        else if (line == QLatin1String("</UL>"))
            --depth;
        else if (line.startsWith(QLatin1String("<LI>")))
            lines.append({depth, {}, {}});
        else if (const auto match = param.match(line); match.hasMatch() && !lines.isEmpty()) {
            const QString value = sitemapText(match.captured(2));
            if (match.captured(1) == QLatin1String("Name") && lines.last().name.isEmpty())
                lines.last().name = value;
            else if (match.captured(1) == QLatin1String("Local") && lines.last().local.isEmpty())
                lines.last().local = value;
        }
    }
    return lines;
}

// The share of names that some keyword of the index starts with (without
// regard to case), and the names that none does.
inline double findableShare(const QByteArray &index, const QStringList &names, QStringList *missing = nullptr)
{
    QStringList keywords;
    for (const SitemapLine &line : sitemapLines(index))
        if (line.depth == 0)
            keywords << line.name;
    qsizetype found = 0;
    for (const QString &name : names) {
        const bool hit = std::any_of(keywords.cbegin(), keywords.cend(), [&](const QString &keyword) {
            return keyword.startsWith(name, Qt::CaseInsensitive);
        });
        found += hit;
        if (!hit && missing)
            *missing << name;
    }
    return names.isEmpty() ? 1.0 : double(found) / double(names.size());
}

inline QStringList sampledNames(const QString &path)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList names = QString::fromUtf8(in.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return names;
}

} // namespace quorlix::testing
