#include "pipeline/ProjectFileStream.h"

namespace quorlix::pipeline {

ProjectFileStream::ProjectFileStream(const QString &path) : mFile(path)
{
    // Unbuffered, so that a short write (a full disk) is seen where it
    // happens: a failure in the buffer's flush at commit is not reported.
    if (!mFile.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        mFailure = mFile.errorString();
}

bool ProjectFileStream::write(const QByteArray &piece)
{
    if (!mFailure.isEmpty())
        return false;
    if (mFile.write(piece) == piece.size())
        return true;
    mFailure = mFile.errorString();
    mFile.cancelWriting();
    return false;
}

QString ProjectFileStream::commit()
{
    if (!mFailure.isEmpty())
        return mFailure;
    if (!mFile.commit())
        return mFile.errorString();
    return QString();
}

} // namespace quorlix::pipeline
