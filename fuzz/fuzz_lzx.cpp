// The LZX compressor on any bytes: the content stream it makes, read back
// through libmspack's and chmlib's help file readers, gives the bytes back.
// Input: the first byte says how many times the rest is repeated (with one
// byte changed in every copy), so that short inputs still reach across
// frames and reset intervals and find matches far back.

#include "fuzz/FuzzCheck.h"
#include "support/LzxReaders.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const unsigned copies = data[0] % 48 + 1;
    const unsigned threads = data[0] >= 128 ? 2 : 1;
    std::vector<std::uint8_t> input;
    for (unsigned copy = 0; copy < copies; ++copy) {
        const std::size_t start = input.size();
        input.insert(input.end(), data + 1, data + size);
        if (input.size() > start)
            input[start + copy % (input.size() - start)] ^= static_cast<std::uint8_t>(copy);
    }

    using namespace quorlix::chm::test;
    const LzxStream stream = compressStream(input, threads, 1000 + size);
    FUZZ_CHECK(stream.uncompressedSize == input.size());
    FUZZ_CHECK(stream.frameOffsets.size() == (input.size() + 0x8001) / 0x8000);
    for (std::size_t i = 0; i < stream.frameOffsets.size(); ++i) {
        const std::uint64_t end = i + 1 < stream.frameOffsets.size() ? stream.frameOffsets[i + 1] : stream.bytes.size();
        FUZZ_CHECK(end >= stream.frameOffsets[i] && end - stream.frameOffsets[i] <= 32768 + 6144);
    }

    static const std::string file = "/tmp/fuzz_lzx." + std::to_string(getpid()) + ".chm";
    writeLzxHelpFile(file, stream);
    const auto mspack = readWithLibmspack(file, nullptr);
    FUZZ_CHECK(mspack.has_value() && *mspack == input);
    const auto chmlib = readWithChmlib(file, nullptr);
    FUZZ_CHECK(chmlib.has_value() && *chmlib == input);
    return 0;
}
