#include "support/CompressedZeros.h"

#include <vector>

#include <zlib.h>

namespace quorlix::test {

std::string compressedZeros(long long size, ZlibFormat format)
{
    z_stream stream{};
    // Window bits 31 write a gzip header and trailer, 15 a zlib stream (what
    // HTTP's "deflate" names).
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, format == ZlibFormat::Gzip ? 31 : 15, 9, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> zeros(1 << 20), out(1 << 16);
    std::string result;
    for (long long left = size; left >= 0; left -= static_cast<long long>(zeros.size())) {
        const bool last = left <= static_cast<long long>(zeros.size());
        stream.next_in = zeros.data();
        stream.avail_in = static_cast<uInt>(last ? left : static_cast<long long>(zeros.size()));
        do {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            result.append(reinterpret_cast<const char *>(out.data()), out.size() - stream.avail_out);
        } while (stream.avail_out == 0);
        if (last)
            break;
    }
    deflateEnd(&stream);
    return result;
}

} // namespace quorlix::test
