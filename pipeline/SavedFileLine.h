#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

namespace quorlix::pipeline {

// The one reader of the download log's saved-file line. Part of every log
// line is the web server's text (reason phrases, addresses, names), so a
// line counts only in the exact form the downloaders print for a file they
// saved (-nv; quorlix-wget and GNU Wget alike):
//     <date> <time> URL:<address> [<size>] -> "<path>" [<n>]
// with <size> "n" or "n/n" (GNU Wget's FTP form has a blank after "URL:"),
// the path running to the quote that ends the line before " [n]". And the
// path counts only when it names a file that lies inside the output folder
// once ".", ".." and symlinks are resolved. Lines come without their line
// end; a line holding a control character is never one.
class SavedFileLine {
public:
    explicit SavedFileLine(const QString &outputFolder) : mFolder(outputFolder) {}

    // The path the line names as logged, when it is a saved file inside the
    // output folder; else empty.
    QString savedFile(QStringView line);
    // The same test of a path named elsewhere (the downloader's list of
    // finished files): logged when it is a file inside the output folder.
    QString fileInFolder(const QString &logged);

    // Only the line's form: the path it names, or empty.
    static QStringView pathOf(QStringView line);

private:
    QString mFolder;
    // The folder's real path and a "/", once the folder exists.
    QString mRealFolder;
    // The real paths of the folders the lines' files lie in, by their names
    // in the log.
    QHash<QString, QString> mRealFolders;
};

} // namespace quorlix::pipeline
