#include "chm/system/IndexHeader.h"

#include "chm/container/LittleEndianBytes.h"

namespace quorlix::chm {

std::vector<std::uint8_t> buildIndexHeader(std::uint32_t topicCount)
{
    std::vector<std::uint8_t> bytes(kIndexHeaderSize, 0);
    bytes[0] = 'T';
    bytes[1] = '#';
    bytes[2] = 'S';
    bytes[3] = 'M';
    putDword(bytes, 0x04, 1); // unknown; other compilers write 1
    putDword(bytes, 0x08, 1); // likewise
    putDword(bytes, 0x0c, topicCount);
    return bytes;
}

} // namespace quorlix::chm
