#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace quorlix::pipeline {

inline constexpr const char *kProjectFileName = "output.HHP";
inline constexpr const char *kCompiledFileName = "output.chm";
inline constexpr const char *kHelpTitle = "Quorlix";
inline constexpr const char *kContentsFileName = "output.hhc";
inline constexpr const char *kIndexFileName = "output.hhk";

// The help project: options naming the compiled file, the first file as
// the default topic, the contents and index files beside the project, and
// full-text search; then every file, CRLF after every line. Encoded in the
// locale's 8-bit encoding, so that names come out as the same bytes the
// file system uses. files must not be empty.
QByteArray HelpProjectBytes(const QString &compiledFile, const QStringList &files);

// Writes the project in one piece, as ProjectFileStream does: either the
// whole new file replaces the old one (or a symlink of that name), or
// nothing changes. Returns the system's reason on failure, empty
// text on success.
QString WriteProjectFile(const QString &path, const QByteArray &bytes);

} // namespace quorlix::pipeline
