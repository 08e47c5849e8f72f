#include "chm/system/IndexHeader.h"

#include "chm/container/ByteLayout.h"

namespace quorlix::chm {

namespace {

// Field offsets.
constexpr std::size_t kIdxUnknown = 0x04;
constexpr std::size_t kIdxAlwaysOne = 0x08;
constexpr std::size_t kIdxTopicCount = 0x0c;
constexpr std::size_t kIdxImageList = 0x14;
constexpr std::size_t kIdxBackground = 0x20;
constexpr std::size_t kIdxForeground = 0x24;
constexpr std::size_t kIdxFont = 0x28;
constexpr std::size_t kIdxWindowStyles = 0x2c;
constexpr std::size_t kIdxExtendedWindowStyles = 0x30;
constexpr std::size_t kIdxUnknownNone = 0x34;
constexpr std::size_t kIdxFrameName = 0x38;
constexpr std::size_t kIdxWindowName = 0x3c;
constexpr std::size_t kIdxAlwaysOneToo = 0x44;
constexpr std::uint32_t kNone = 0xffffffff;

} // namespace

std::vector<std::uint8_t> buildIndexHeader(std::uint32_t topicCount)
{
    std::vector<std::uint8_t> bytes(kIdxHdrFileSize, 0);
    bytes[0] = 'T';
    bytes[1] = '#';
    bytes[2] = 'S';
    bytes[3] = 'M';
    // Microsoft's compiler writes a value here by an unknown rule; Free
    // Pascal's compiler writes 1.
    putLe32(bytes.data() + kIdxUnknown, 1);
    putLe32(bytes.data() + kIdxAlwaysOne, 1);
    putLe32(bytes.data() + kIdxTopicCount, topicCount);
    // No image list, colours, font, frame or window name: "none" is -1.
    for (const std::size_t at : {kIdxImageList, kIdxBackground, kIdxForeground, kIdxFont, kIdxUnknownNone,
                                 kIdxFrameName, kIdxWindowName})
        putLe32(bytes.data() + at, kNone);
    // The navigation pane's window styles, as Microsoft's compiler writes
    // them for a project without windows.
    putLe32(bytes.data() + kIdxWindowStyles, 0x27);
    putLe32(bytes.data() + kIdxExtendedWindowStyles, 0x100);
    putLe32(bytes.data() + kIdxAlwaysOneToo, 1);
    return bytes;
}

} // namespace quorlix::chm
