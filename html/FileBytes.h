#pragma once

// Reading a file's bytes through a descriptor, interrupted reads retried.

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorlix::html {

// Reads what is left of fd onto the end of bytes; false with errno set on
// an error.
bool readAllFrom(int fd, std::string &bytes);

// out becomes the size bytes at offset, read with pread: the descriptor's
// position is left alone, so threads may read one file side by side. False
// when they are not all there, or on an error.
bool readWholeAt(int fd, std::uint64_t offset, std::size_t size, std::string &out);

} // namespace quorlix::html
