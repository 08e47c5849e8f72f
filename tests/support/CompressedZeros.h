#pragma once

// A decompression bomb for servers of the tests: size zero bytes compressed
// with zlib, a megabyte at a time (200 MB come to about 200 KB). Plain C++.

#include <string>

namespace quorlix::test {

enum class ZlibFormat { Gzip, Deflate };

std::string compressedZeros(long long size, ZlibFormat format);

} // namespace quorlix::test
