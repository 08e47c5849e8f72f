#include "mirror/WgetLog.h"

#include "mirror/Utf8.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstring>
#include <ctime>
#include <langinfo.h>

namespace quorlix::mirror {

WgetLog::WgetLog(bool quiet) : mQuiet(quiet)
{
    std::setlocale(LC_CTYPE, "");
    const char *codeset = nl_langinfo(CODESET);
    mUtf8 = codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

std::string WgetLog::now()
{
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string WgetLog::quoted(const std::string &name) const
{
    return mUtf8 ? "\xe2\x80\x98" + shown(name) + "\xe2\x80\x99" : "'" + shown(name) + "'";
}

namespace {

void appendOctal(std::string &out, unsigned char c)
{
    out += '\\';
    out += static_cast<char>('0' + (c >> 6));
    out += static_cast<char>('0' + ((c >> 3) & 7));
    out += static_cast<char>('0' + (c & 7));
}

} // namespace

std::string WgetLog::shown(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            char32_t code = 0;
            const std::size_t length = utf8CharLength(text, i, code);
            const bool printable = length > 0 && !isControlBeyondAscii(code);
            for (std::size_t k = 0; k < std::max<std::size_t>(length, 1); ++k) {
                if (printable)
                    out += text[i + k];
                else
                    appendOctal(out, static_cast<unsigned char>(text[i + k]));
            }
            i += std::max<std::size_t>(length, 1);
            continue;
        }
        if (c >= 7 && c <= 13) {
            out += '\\';
            out += "abtnvfr"[c - 7];
        } else if (c < 0x20 || c == 0x7f) {
            appendOctal(out, c);
        } else if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out;
}

void WgetLog::givenUp(const std::string &url)
{
    line(shown(url) + ": The host was given up after an earlier failure.");
}

void WgetLog::line(const std::string &text)
{
    if (mQuiet)
        return;
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void WgetLog::saved(const std::string &url, long long bytes, long long length, const std::string &file)
{
    std::string size = std::to_string(bytes);
    size += "/" + std::to_string(length >= 0 ? length : bytes);
    line(now() + " URL:" + shown(url) + " [" + size + "] -> \"" + shown(file) + "\" [1]");
}

namespace {

// HTTP/2 answers carry no phrase: the usual one for the code.
const char *usualReason(long status)
{
    switch (status) {
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 410: return "Gone";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "(no description)";
    }
}

} // namespace

void WgetLog::httpError(const std::string &url, long status, const std::string &reason)
{
    line(shown(url) + ":");
    line(now() + " ERROR " + std::to_string(status) + ": "
         + (reason.empty() ? std::string(usualReason(status)) : shown(reason)) + ".");
}

void WgetLog::failure(const std::string &url, const std::string &text)
{
    line(shown(url) + ":");
    line(text);
}

void WgetLog::permissionDenied(const std::string &file)
{
    line(shown(file) + ": Permission denied");
    line("Cannot write to " + quoted(file) + " (Permission denied).");
}

std::string WgetLog::humanSize(long long bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes);
    static const char powers[] = "KMGTPEZY";
    double value = static_cast<double>(bytes);
    for (int i = 0; i < 8; ++i) {
        value /= 1024;
        if (value < 1024 || i == 7) {
            char text[32];
            std::snprintf(text, sizeof text, value < 10 ? "%.1f%c" : "%.0f%c", value, powers[i]);
            return text;
        }
    }
    return std::to_string(bytes);
}

std::string WgetLog::humanTime(double seconds)
{
    char text[64];
    const long whole = std::lround(seconds);
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%ldh %ldm %lds", whole / 3600, whole / 60 % 60, whole % 60);
    else if (whole >= 60)
        std::snprintf(text, sizeof text, "%ldm %lds", whole / 60, whole % 60);
    else if (seconds >= 10)
        std::snprintf(text, sizeof text, "%lds", whole);
    else
        std::snprintf(text, sizeof text, "%.2gs", seconds);
    return text;
}

void WgetLog::finished(double wallSeconds, int files, long long bytes, double downloadSeconds)
{
    line("FINISHED --" + now() + "--");
    line("Total wall clock time: " + humanTime(wallSeconds));
    double rate = downloadSeconds > 0 ? static_cast<double>(bytes) / downloadSeconds : static_cast<double>(bytes) * 1000;
    static const char *units[] = {"B/s", "KB/s", "MB/s", "GB/s"};
    int unit = 0;
    while (rate >= 1024 && unit < 3) {
        rate /= 1024;
        ++unit;
    }
    char rateText[32];
    std::snprintf(rateText, sizeof rateText, "%.*f %s", rate >= 99.95 ? 0 : rate >= 9.995 ? 1 : 2, rate, units[unit]);
    std::string time = humanTime(downloadSeconds);
    if (time.size() > 1 && time.back() == 's' && downloadSeconds < 10)
        time = downloadSeconds < 0.5 ? "0s" : time;
    line("Downloaded: " + std::to_string(files) + " files, " + humanSize(bytes) + " in " + time + " (" + rateText + ")");
}

void WgetLog::converted(int files, double seconds)
{
    char text[96];
    std::snprintf(text, sizeof text, "Converted links in %d files in %.3g seconds.", files, seconds);
    line(text);
}

} // namespace quorlix::mirror
