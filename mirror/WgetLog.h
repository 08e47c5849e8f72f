#pragma once

// The log in GNU Wget's -nv form, which Quorlix reads: one
// 'URL:ADDRESS [N/N] -> "FILE" [1]' line for each saved file, error lines,
// and the closing summary.

#include <cstdio>
#include <string>

namespace quorlix::mirror {

class WgetLog {
public:
    explicit WgetLog(bool quiet);

    void saved(const std::string &url, long long bytes, long long length, const std::string &file);
    // "ADDRESS:" then "DATE ERROR 404: Not Found."
    void httpError(const std::string &url, long status, const std::string &reason);
    // "ADDRESS:" then the line as given.
    void failure(const std::string &url, const std::string &line);
    void line(const std::string &text);
    void finished(double wallSeconds, int files, long long bytes, double downloadSeconds);
    void converted(int files, double seconds);

    // "‘name’" in a UTF-8 locale, "'name'" otherwise, as Wget quotes.
    std::string quoted(const std::string &name) const;
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
