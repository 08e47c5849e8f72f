#pragma once

#include "pipeline/Sitemap.h"

#include <QByteArray>

#include <functional>

namespace quorlix::pipeline {

// A sitemap file's text (contents or index), handed on to write in pieces of
// about a megabyte: a large site's come to tens of megabytes, which need not
// be held whole.
class SitemapPieces {
public:
    explicit SitemapPieces(const std::function<bool(const QByteArray &)> &write) : mWrite(write)
    {
        mPiece.reserve(kPiece + 64 * 1024);
    }
    SitemapPieces &operator+=(const QByteArray &bytes)
    {
        mPiece += bytes;
        if (mPiece.size() >= kPiece)
            flush();
        return *this;
    }
    // An entry of a Name and a Local (AppendNamedEntry), made in place.
    void addNamedEntry(QStringView name, QStringView local, int depth)
    {
        AppendNamedEntry(mPiece, name, local, depth);
        if (mPiece.size() >= kPiece)
            flush();
    }
    // False once a piece was refused; later ones are not handed on.
    bool flush()
    {
        if (mWritten && !mPiece.isEmpty())
            mWritten = mWrite(mPiece);
        mPiece.resize(0);
        return mWritten;
    }

private:
    static constexpr qsizetype kPiece = 1 << 20;
    const std::function<bool(const QByteArray &)> &mWrite;
    QByteArray mPiece;
    bool mWritten = true;
};

} // namespace quorlix::pipeline
