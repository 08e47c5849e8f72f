#pragma once

#include <QString>

namespace quorlix::pipeline {

// The browser name the downloader presents to the site.
inline constexpr const char *kUserAgent = "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)";

// The downloader's command line: recursive, one log line per saved file,
// never above the start folder, random waits, saving under outputDir
// (quoted). The address follows as typed: not quoted, not trimmed.
QString DownloadCommandLine(const QString &outputDir, const QString &address);

// Why a folder cannot be put on a command line, or empty when it can. A
// double quote would end the quoted folder early and let the rest of its
// name through as further arguments.
QString OutputDirProblem(const QString &outputDir);

// Whether nothing can be saved under the folder: it is no folder one may
// write in, or it is missing and the nearest thing above it that exists is
// no such folder (a regular file, say).
bool OutputDirUnwritable(const QString &outputDir);

} // namespace quorlix::pipeline
