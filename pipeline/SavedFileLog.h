#pragma once

#include <QString>
#include <QStringList>

namespace quorlix::pipeline {

// A saved path relative to the output folder. Backslashes in the folder are
// taken as "/". The folder is removed only where it begins the path, and the
// one "/" that then begins the rest is dropped, so the result is a relative
// path. A path that does not begin with the folder (or an empty folder)
// comes back unchanged.
QString StripOutputDir(const QString &path, const QString &outputDir);

// The paths relative to the output folder, each listed once, at its first
// place. Made in the list given: each path gives way to its relative form,
// so a large site's two lists are never held side by side.
QStringList ProjectFileList(QStringList savedPaths, const QString &outputDir);

} // namespace quorlix::pipeline
