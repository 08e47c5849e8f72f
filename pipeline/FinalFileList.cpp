#include "pipeline/FinalFileList.h"

#include <QFile>
#include <QFileInfo>

namespace quorlix::pipeline {

void FinalFileList::reset(const QString &listPath, const QString &outputFolder)
{
    mPath = listPath;
    mRead = 0;
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
    QFile list(mPath);
    if (mPath.isEmpty() || !list.open(QIODevice::ReadOnly) || !list.seek(mRead))
        return files;
    const QByteArray added = list.readAll();
    mRead += added.size();
    mOpenLine += added;
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
