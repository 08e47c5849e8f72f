#include "pipeline/FinalFileList.h"

#include "html/FileBytes.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace quorlix::pipeline {

FinalFileList::~FinalFileList()
{
    if (mFd >= 0)
        ::close(mFd);
}

void FinalFileList::reset(const QString &listPath, const QString &outputFolder)
{
    if (mFd >= 0)
        ::close(mFd);
    mFd = -1;
    mPath = listPath;
    mOpenLine.clear();
    mLines = SavedFileLine(outputFolder);
}

bool FinalFileList::exists() const
{
    return !mPath.isEmpty() && QFileInfo::exists(mPath);
}

QStringList FinalFileList::take()
{
    QStringList files;
    if (mFd < 0 && !mPath.isEmpty())
        mFd = ::open(QFile::encodeName(mPath).constData(), O_RDONLY | O_CLOEXEC);
    if (mFd < 0)
        return files;
    std::string added;
    html::readAllFrom(mFd, added); // what came before an error is kept
    mOpenLine.append(added.data(), qsizetype(added.size()));
    qsizetype start = 0;
    for (qsizetype end; (end = mOpenLine.indexOf('\n', start)) >= 0; start = end + 1) {
        const QByteArray line = mOpenLine.mid(start, end - start);
        if (QString file = mLines.fileInFolder(QFile::decodeName(line)); !file.isEmpty())
            files << std::move(file);
    }
    mOpenLine.remove(0, start);
    return files;
}

} // namespace quorlix::pipeline
