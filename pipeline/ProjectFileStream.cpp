#include "pipeline/ProjectFileStream.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace quorlix::pipeline {

ProjectFileStream::ProjectFileStream(const QString &path) : mPath(QFile::encodeName(path))
{
    // A name of its own, made here (O_EXCL: never an existing file or link).
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100 && mFile < 0; ++attempt) {
        mTemporary = mPath + '.';
        for (int i = 0; i < 8; ++i)
            mTemporary += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
        mFile = ::open(mTemporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (mFile < 0 && errno != EEXIST)
            break;
    }
    if (mFile < 0) {
        mTemporary.clear();
        fail();
    }
}

ProjectFileStream::~ProjectFileStream()
{
    if (mFile >= 0)
        ::close(mFile);
    if (!mTemporary.isEmpty())
        ::unlink(mTemporary.constData());
}

void ProjectFileStream::fail()
{
    mFailure = QString::fromLocal8Bit(std::strerror(errno));
    if (mFile >= 0)
        ::close(mFile);
    mFile = -1;
    if (!mTemporary.isEmpty())
        ::unlink(mTemporary.constData());
    mTemporary.clear();
}

bool ProjectFileStream::write(const QByteArray &piece)
{
    if (!mFailure.isEmpty())
        return false;
    // Each write is seen through to its end, so a full disk shows here.
    for (qsizetype done = 0; done < piece.size();) {
        const ssize_t wrote = ::write(mFile, piece.constData() + done, size_t(piece.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            if (wrote == 0)
                errno = ENOSPC;
            fail();
            return false;
        }
        done += wrote;
    }
    return true;
}

QString ProjectFileStream::commit()
{
    if (!mFailure.isEmpty())
        return mFailure;
    // On the disk before the name leads to it, so that a crash leaves the old file or the new one.
    if (::fsync(mFile) != 0) {
        fail();
        return mFailure;
    }
    const int file = mFile;
    mFile = -1;
    if (::close(file) != 0 || std::rename(mTemporary.constData(), mPath.constData()) != 0) {
        fail();
        return mFailure;
    }
    mTemporary.clear();
    return QString();
}

} // namespace quorlix::pipeline
