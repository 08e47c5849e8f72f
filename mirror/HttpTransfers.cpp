#include "mirror/HttpTransfers.h"

#include "mirror/ExitStatus.h"
#include "mirror/WgetLog.h"

#include "html/AsciiText.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <unistd.h>

namespace quorlix::mirror {

namespace {

// GNU Wget waits 1 s before the second try, 2 s before the third, ... and
// at most this long.
constexpr int kLongestRetryWait = 10;

// Faults that may pass: the transfer is tried again (--tries).
bool transient(int code)
{
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_BAD_CONTENT_ENCODING:
        return true;
    default:
        return false;
    }
}

int exitStatusOf(int curlCode)
{
    switch (curlCode) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CONNECT_ERROR:
        return SslFailure;
    case CURLE_WRITE_ERROR:
        return IoError;
    case CURLE_TOO_MANY_REDIRECTS: // GNU Wget counts a redirect loop as the server's error
    case CURLE_FILESIZE_EXCEEDED:  // a decompression bomb
        return ServerError;
    default:
        return NetworkFailure;
    }
}

size_t writeBody(char *data, size_t size, size_t count, void *userdata)
{
    auto *transfer = static_cast<Transfer *>(userdata);
    const size_t total = size * count;
    const long long decoded = transfer->bytes + static_cast<long long>(total);
    if (decoded > kExpansionFloor) {
        // The bytes that came over the connection, before decoding.
        curl_off_t received = 0;
        curl_easy_getinfo(static_cast<CURL *>(transfer->easy), CURLINFO_SIZE_DOWNLOAD_T, &received);
        if (decoded > kMostExpansion * std::max<long long>(received, 1)) {
            transfer->overExpanded = true;
            return 0; // ends the transfer; the caller removes what was written
        }
    }
    size_t written = 0;
    while (written < total) {
        const ssize_t n = ::write(transfer->fd, data + written, total - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            transfer->writeErrno = errno;
            return 0; // ends the transfer with CURLE_WRITE_ERROR
        }
        written += static_cast<size_t>(n);
    }
    transfer->bytes += static_cast<long long>(total);
    return total;
}

// Keeps the last status line's phrase ("Not Found"); a redirect's answer is
// followed by the next one's, and its body is not written.
size_t readHeader(char *data, size_t size, size_t count, void *userdata)
{
    auto *transfer = static_cast<Transfer *>(userdata);
    const size_t total = size * count;
    std::string_view line(data, total);
    if (line.substr(0, 5) == "HTTP/") {
        const std::size_t first = line.find(' ');
        std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
        std::string reason;
        if (second != std::string_view::npos) {
            reason = std::string(line.substr(second + 1));
            while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n'))
                reason.pop_back();
        }
        transfer->reason = reason;
        // A new answer: whatever an earlier one (a redirect) wrote goes.
        if (transfer->bytes > 0 && transfer->fd >= 0) {
            if (::ftruncate(transfer->fd, 0) == 0)
                ::lseek(transfer->fd, 0, SEEK_SET);
            transfer->bytes = 0;
        }
    }
    return total;
}

} // namespace

HttpTransfers::HttpTransfers(const TransferSettings &settings, int parallel) : mSettings(settings)
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    CURLM *multi = curl_multi_init();
    curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(parallel));
    curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(parallel * 2));
    curl_multi_setopt(multi, CURLMOPT_PIPELINING, static_cast<long>(CURLPIPE_MULTIPLEX));
    mMulti = multi;
    // One name cache and TLS session cache for every transfer.
    CURLSH *share = curl_share_init();
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    mShare = share;
}

HttpTransfers::~HttpTransfers()
{
    curl_multi_cleanup(static_cast<CURLM *>(mMulti));
    curl_share_cleanup(static_cast<CURLSH *>(mShare));
}

bool HttpTransfers::start(Transfer &transfer)
{
    transfer.fd = ::open(transfer.bodyPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (transfer.fd < 0) {
        transfer.writeErrno = errno;
        transfer.curlCode = CURLE_WRITE_ERROR;
        return false;
    }
    CURL *easy = curl_easy_init();
    transfer.easy = easy;
    curl_easy_setopt(easy, CURLOPT_URL, transfer.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, readHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.errorBuffer);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(mSettings.maxRedirects));
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Every encoding this libcurl decodes (gzip, deflate, brotli, zstd):
    // the saved bytes are the decoded ones.
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_USERAGENT, mSettings.userAgent.c_str());
    if (!transfer.referer.empty())
        curl_easy_setopt(easy, CURLOPT_REFERER, transfer.referer.c_str());
    curl_easy_setopt(easy, CURLOPT_SHARE, static_cast<CURLSH *>(mShare));
    curl_easy_setopt(easy, CURLOPT_PIPEWAIT, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
    // --timeout: for connecting, and for any stretch without a byte.
    const long timeoutMs = static_cast<long>(mSettings.timeoutSeconds * 1000);
    if (timeoutMs > 0) {
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, std::max(1L, timeoutMs / 1000));
    }
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, mSettings.checkCertificate ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, mSettings.checkCertificate ? 2L : 0L);
    if (!mSettings.caCertificate.empty())
        curl_easy_setopt(easy, CURLOPT_CAINFO, mSettings.caCertificate.c_str());
    if (!mSettings.caDirectory.empty())
        curl_easy_setopt(easy, CURLOPT_CAPATH, mSettings.caDirectory.c_str());
    curl_multi_add_handle(static_cast<CURLM *>(mMulti), easy);
    ++mRunning;
    return true;
}

void HttpTransfers::finish(Transfer &transfer)
{
    if (transfer.fd >= 0) {
        if (::close(transfer.fd) != 0 && transfer.writeErrno == 0 && transfer.curlCode == 0) {
            transfer.writeErrno = errno;
            transfer.curlCode = CURLE_WRITE_ERROR;
        }
        transfer.fd = -1;
    }
    if (transfer.easy) {
        curl_easy_cleanup(static_cast<CURL *>(transfer.easy));
        transfer.easy = nullptr;
    }
}

void HttpTransfers::abandon(Transfer &transfer)
{
    if (transfer.easy) {
        curl_multi_remove_handle(static_cast<CURLM *>(mMulti), static_cast<CURL *>(transfer.easy));
        --mRunning;
    }
    finish(transfer);
}

void HttpTransfers::send()
{
    int stillRunning = 0;
    curl_multi_perform(static_cast<CURLM *>(mMulti), &stillRunning);
}

void HttpTransfers::wakeUp()
{
    curl_multi_wakeup(static_cast<CURLM *>(mMulti));
}

std::vector<Transfer *> HttpTransfers::wait(std::chrono::milliseconds timeout)
{
    CURLM *multi = static_cast<CURLM *>(mMulti);
    int stillRunning = 0;
    curl_multi_perform(multi, &stillRunning);
    std::vector<Transfer *> ended;
    auto collect = [&] {
        int queued = 0;
        while (CURLMsg *message = curl_multi_info_read(multi, &queued)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            CURL *easy = message->easy_handle;
            Transfer *transfer = nullptr;
            curl_easy_getinfo(easy, CURLINFO_PRIVATE, reinterpret_cast<char **>(&transfer));
            transfer->curlCode = message->data.result;
            transfer->curlError = transfer->errorBuffer[0] ? transfer->errorBuffer
                                                           : curl_easy_strerror(message->data.result);
            if (transfer->overExpanded) {
                transfer->curlCode = CURLE_FILESIZE_EXCEEDED;
                transfer->curlError = "The body decodes to more than " + std::to_string(kMostExpansion)
                                      + " times the bytes sent; not saved";
            }
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &transfer->status);
            const char *type = nullptr;
            if (curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) {
                std::string text(type);
                text = text.substr(0, text.find(';'));
                while (!text.empty() && text.back() == ' ')
                    text.pop_back();
                transfer->contentType = html::lower(text);
            }
            const char *effective = nullptr;
            if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
                transfer->effectiveUrl = effective;
            curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &transfer->redirects);
            curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &transfer->osErrno);
            curl_off_t length = -1;
            if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK)
                transfer->contentLength = length;
            curl_multi_remove_handle(multi, easy);
            --mRunning;
            finish(*transfer);
            ended.push_back(transfer);
        }
    };
    collect();
    if (ended.empty()) {
        int ready = 0;
        curl_multi_poll(multi, nullptr, 0, static_cast<int>(timeout.count()), &ready);
        curl_multi_perform(multi, &stillRunning);
        collect();
    }
    return ended;
}

bool HttpTransfers::retryLater(Transfer &transfer, TransferOwner &owner) const
{
    if (!transient(transfer.curlCode) || transfer.writeErrno != 0)
        return false;
    if (mSettings.tries != 0 && owner.attempt >= mSettings.tries)
        return false;
    ::unlink(transfer.bodyPath.c_str());
    owner.retryAt = std::chrono::steady_clock::now() + std::chrono::seconds(std::min(owner.attempt, kLongestRetryWait));
    ++owner.attempt;
    return true;
}

bool HttpTransfers::hostUnreachable(const Transfer &t)
{
    switch (t.curlCode) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
        return true;
    case CURLE_OPERATION_TIMEDOUT:
        return t.status == 0; // no status line came
    default:
        return false;
    }
}

int HttpTransfers::exitStatus(const Transfer &t)
{
    return exitStatusOf(t.curlCode);
}

HttpTransfers::Fault HttpTransfers::faultOf(const Transfer &t, const std::string &host,
                                            const std::string &quotedHost) const
{
    Fault fault;
    fault.status = exitStatusOf(t.curlCode);
    // A redirect loop is told of the address asked for, not the last one.
    fault.address = t.curlCode == CURLE_TOO_MANY_REDIRECTS ? t.url : t.finalUrl();
    const std::string error = WgetLog::shown(t.curlError);
    const std::string shownHost = WgetLog::shown(host);
    switch (t.curlCode) {
    case CURLE_COULDNT_RESOLVE_HOST:
        fault.withAddress = false;
        fault.line = "wget: unable to resolve host address " + quotedHost;
        break;
    case CURLE_COULDNT_CONNECT:
        fault.line = "failed: " + (t.osErrno != 0 ? std::string(std::strerror(static_cast<int>(t.osErrno))) : error)
                     + ".";
        break;
    case CURLE_OPERATION_TIMEDOUT:
        fault.line = "failed: Connection timed out (" + error + "). Giving up.";
        break;
    case CURLE_TOO_MANY_REDIRECTS:
        fault.line = std::to_string(mSettings.maxRedirects) + " redirections exceeded.";
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
        fault.line = "ERROR: cannot verify " + shownHost + "'s certificate (" + error + ").\nTo connect to " + shownHost
                     + " insecurely, use `--no-check-certificate'.";
        break;
    case CURLE_SSL_CONNECT_ERROR:
        fault.line = "Unable to establish SSL connection to " + shownHost + " (" + error + ").";
        break;
    default:
        fault.line = "ERROR: " + error + ". Giving up.";
        break;
    }
    return fault;
}

} // namespace quorlix::mirror
