#pragma once

// The text both the contents file and the index file are written in: an
// HTML "sitemap" of <OBJECT type="text/sitemap"> entries in nested lists.

#include "pipeline/SavedPages.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <utility>

namespace quorlix::pipeline {

// A value in ASCII: the four markup characters as named references,
// everything else outside printable ASCII as a decimal character reference,
// so that it shows the same whatever the help file's language. Windows'
// viewer reads no other names (they may show as written) and no
// hexadecimal references.
QByteArray SitemapEscaped(const QString &text);
void AppendSitemapEscaped(QByteArray &out, QStringView text);

// The document's start (with the object that carries its own properties)
// and its end.
QByteArray SitemapHead(const QByteArray &properties);
QByteArray SitemapTail();

// One <LI> entry with its parameters (name, value) in order, indented by
// depth tabs.
QByteArray SitemapEntry(const QList<QPair<QString, QString>> &params, int depth);
// The same with a Name and a Local, added to out: an index writes one for
// each of its keywords.
void AppendNamedEntry(QByteArray &out, QStringView name, QStringView local, int depth);

// A folder's index page (index.html, default.htm, ...) stands for the folder.
bool IsFolderIndexPage(const QString &file);

// A sitemap file (contents or index) made whole in memory by make, which
// otherwise streams it: make(write) hands each piece to write.
template <typename File, typename Make>
File SitemapInMemory(Make make)
{
    QByteArray bytes;
    File file = make([&bytes](const QByteArray &piece) {
        bytes += piece;
        return true;
    });
    file.bytes = std::move(bytes);
    return file;
}

} // namespace quorlix::pipeline
