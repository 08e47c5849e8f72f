#pragma once

#include <QByteArray>
#include <QString>

namespace quorlix::pipeline {

// A project file written piece by piece, for one too large to be made whole
// first. It goes to a new temporary file beside its name and is renamed
// into place only when complete: a failed write leaves the old one as it
// was. Nothing is ever opened through the name itself, so a symlink there
// is replaced by the file, and what it pointed at is left alone.
class ProjectFileStream {
public:
    explicit ProjectFileStream(const QString &path);
    ~ProjectFileStream(); // a file not put in place is removed
    ProjectFileStream(const ProjectFileStream &) = delete;
    ProjectFileStream &operator=(const ProjectFileStream &) = delete;

    // False once anything has failed; later pieces are then ignored.
    bool write(const QByteArray &piece);
    // Puts the file in place. Gives "" when it was written, else why not.
    QString commit();

private:
    void fail();

    QByteArray mPath;
    QByteArray mTemporary;
    int mFile = -1;
    QString mFailure;
};

} // namespace quorlix::pipeline
