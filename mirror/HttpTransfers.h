#pragma once

// Up to N HTTP(S) transfers at once through libcurl's multi interface,
// over keep-alive connections (and HTTP/2 streams on one connection where a
// server offers it over TLS). Each body streams into a file of its own.
// libcurl's error codes are read here and nowhere else: what a fault means
// (retry it, its log line, its exit status) is asked of this class.

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
    int tries = 20; // --tries; 0: without end
};

struct Transfer;

// What a transfer belongs to (an address of the crawl, a robots.txt): told
// when it ends, found from the transfer without a search.
struct TransferOwner {
    virtual ~TransferOwner() = default;
    // retry: the fault may pass, and the transfer is to start again at
    // retryAt.
    virtual void ended(Transfer &transfer, bool retry) = 0;
    int attempt = 1;
    std::chrono::steady_clock::time_point retryAt{};
};

struct Transfer {
    // What to fetch and where the body goes.
    std::string url;
    std::string referer;
    std::string bodyPath;
    TransferOwner *owner = nullptr;

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
    int writeErrno = 0;        // the body could not be written
    bool overExpanded = false; // stopped: it decoded to far more than was sent
    bool hostGivenUp = false;  // not asked, or not waited for: its host was given up

    // It came whole with an answer of 2xx.
    bool answered() const { return curlCode == 0 && status >= 200 && status < 300 && writeErrno == 0; }
    // The address the answer came from, after redirects.
    const std::string &finalUrl() const { return effectiveUrl.empty() ? url : effectiveUrl; }

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

    // Whether a transfer that ended in a fault is tried again (--tries): a
    // fault that may pass (a timeout, a dropped connection), not a refusal
    // or a write error. Then its body file is removed and retryAt set (1 s,
    // 2 s, ... up to 10 s, as GNU Wget waits).
    bool retryLater(Transfer &transfer, TransferOwner &owner) const;

    // The log of a transfer that ended in a fault of the connection (not a
    // write error, not an HTTP error answer): GNU Wget's line for it, the
    // address on the line before it (unless !withAddress), and the exit
    // status it counts for.
    struct Fault {
        std::string address;
        std::string line;
        bool withAddress = true;
        int status = 0;
    };
    // quotedHost: the host as the log quotes it.
    Fault faultOf(const Transfer &transfer, const std::string &host, const std::string &quotedHost) const;
    // Whether a transfer failed in the connection (libcurl's error).
    static bool connectionFailed(const Transfer &transfer) { return transfer.curlCode != 0; }
    // Whether the host could not be reached at all: its name unknown, the
    // connection refused or not made in time, no first byte of an answer in
    // time, no TLS agreed. A fault of the host, not of the address.
    static bool hostUnreachable(const Transfer &transfer);
    // The exit status a fault of the connection counts for.
    static int exitStatus(const Transfer &transfer);

private:
    static void finish(Transfer &transfer);
    TransferSettings mSettings;
    void *mMulti = nullptr;
    void *mShare = nullptr;
    std::size_t mRunning = 0;
};

} // namespace quorlix::mirror
