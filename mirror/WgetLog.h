#pragma once

// The log in GNU Wget's -nv form, which Quorlix reads: one
// 'URL:ADDRESS [N/N] -> "FILE" [1]' line for each saved file, error lines,
// and the closing summary.
//
// Every text a server chose (addresses, names, reason phrases, libcurl's
// messages about an answer) goes through shown(): no control character of
// it reaches the log, so a server cannot write lines of its own there.

#include <cstdio>
#include <string>
#include <string_view>

namespace quorlix::mirror {

class WgetLog {
public:
    explicit WgetLog(bool quiet);

    void saved(const std::string &url, long long bytes, long long length, const std::string &file);
    // "ADDRESS:" then "DATE ERROR 404: Not Found."
    void httpError(const std::string &url, long status, const std::string &reason);
    // "ADDRESS:" then the line as given.
    void failure(const std::string &url, const std::string &line);
    // A file that exists and may not be written: GNU Wget's two lines, no
    // address before them.
    void permissionDenied(const std::string &file);
    // A request not made, or ended, because its host was given up after an
    // earlier failure (which had its own lines): one line, the address first.
    void givenUp(const std::string &url);
    void line(const std::string &text);
    void finished(double wallSeconds, int files, long long bytes, double downloadSeconds);
    void converted(int files, double seconds);

    // "‘name’" in a UTF-8 locale, "'name'" otherwise, as Wget quotes; the
    // name shown().
    std::string quoted(const std::string &name) const;
    // Server text as GNU Wget escapes it: "\r", "\t", "\\", "\001" for
    // a control byte, "\302\205" for a C1 control or a line separator in
    // UTF-8, and each byte of invalid UTF-8 in octal; printable UTF-8 as it
    // is. A double quote becomes "\"" too, so that no server text can look
    // like the '-> "FILE"' of a saved file.
    static std::string shown(std::string_view text);
    // GNU Wget's sizes: "512", "1.9K", "45M".
    static std::string humanSize(long long bytes);
    // GNU Wget's short durations: "0.02s", "12s", "1m 5s".
    static std::string humanTime(double seconds);

private:
    static std::string now();
    bool mQuiet;
    bool mUtf8;
};

} // namespace quorlix::mirror
