#pragma once

// Up to N HTTP(S) transfers at once through libcurl's multi interface,
// over keep-alive connections (and HTTP/2 streams on one connection where a
// server offers it over TLS). Each body streams into a file of its own.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace quorlix::mirror {

struct TransferSettings {
    std::string userAgent;
    double timeoutSeconds = 900;
    bool checkCertificate = true;
    std::string caCertificate;
    std::string caDirectory;
    int maxRedirects = 20;
};

struct Transfer {
    // What to fetch and where the body goes.
    std::string url;
    std::string referer;
    std::string bodyPath;
    void *owner = nullptr; // the caller's, handed back on completion

    // What came of it.
    int curlCode = 0;
    std::string curlError;
    long status = 0;
    std::string reason;      // the status line's phrase
    std::string contentType; // lower case, parameters dropped
    std::string effectiveUrl;
    long redirects = 0;
    long osErrno = 0; // of a failed connect
    long long bytes = 0;
    long long contentLength = -1;
    int writeErrno = 0; // the body could not be written
    bool overExpanded = false; // stopped: it decoded to far more than was sent

    // libcurl's own state.
    void *easy = nullptr;
    int fd = -1;
    char errorBuffer[256] = {};
};

// A body sent compressed is stopped (CURLE_FILESIZE_EXCEEDED, overExpanded)
// once its decoded bytes pass kMostExpansion times the bytes that came,
// past the first kExpansionFloor: no real page compresses so well, and a
// few kilobytes of gzip or brotli can decode to gigabytes.
inline constexpr long long kMostExpansion = 200;
inline constexpr long long kExpansionFloor = 1 << 20;

class HttpTransfers {
public:
    explicit HttpTransfers(const TransferSettings &settings, int parallel);
    ~HttpTransfers();
    HttpTransfers(const HttpTransfers &) = delete;
    HttpTransfers &operator=(const HttpTransfers &) = delete;

    // Starts a transfer; false (with curlError set) when its file cannot be
    // made.
    bool start(Transfer &transfer);
    // Ends a transfer before it completes; its file stays for the caller.
    void abandon(Transfer &transfer);
    // Waits at most timeout for progress (or for wakeUp); returns the
    // transfers that ended.
    std::vector<Transfer *> wait(std::chrono::milliseconds timeout);
    // Sends the requests of the transfers just started, without waiting.
    void send();
    // Ends a wait early; may be called from any thread.
    void wakeUp();
    std::size_t running() const { return mRunning; }

private:
    static void finish(Transfer &transfer);
    TransferSettings mSettings;
    void *mMulti = nullptr;
    void *mShare = nullptr;
    std::size_t mRunning = 0;
};

} // namespace quorlix::mirror
