#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

namespace quorlix::pipeline {

// A project file written piece by piece, for one too large to be made whole
// first. As with WriteProjectFile, the file is replaced only when it is
// complete: a failed write leaves the old one as it was.
class ProjectFileStream {
public:
    explicit ProjectFileStream(const QString &path);

    // False once anything has failed; later pieces are then ignored.
    bool write(const QByteArray &piece);
    // Puts the file in place. Gives "" when it was written, else why not.
    QString commit();

private:
    QSaveFile mFile;
    QString mFailure;
};

} // namespace quorlix::pipeline
