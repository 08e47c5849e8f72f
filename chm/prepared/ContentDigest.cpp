#include "chm/prepared/ContentDigest.h"

#include <openssl/evp.h>

#include <cerrno>
#include <memory>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace quorlix::chm {

ContentDigest digestOf(std::string_view bytes)
{
    ContentDigest digest{};
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1
        || length != digest.size())
        throw std::runtime_error("SHA-256 is not available");
    return digest;
}

std::optional<ContentDigest> digestOfFile(int fd)
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is not available");
    // One buffer a thread, made once: a large site's tens of thousands of
    // small files would otherwise each map and clear a megabyte.
    thread_local std::vector<char> piece(1 << 20);
    for (;;) {
        const ssize_t got = ::read(fd, piece.data(), piece.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        EVP_DigestUpdate(context.get(), piece.data(), static_cast<std::size_t>(got));
    }
    ContentDigest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1 || length != digest.size())
        return std::nullopt;
    return digest;
}

} // namespace quorlix::chm
