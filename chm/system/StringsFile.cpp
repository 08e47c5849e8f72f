#include "chm/system/StringsFile.h"

#include "chm/container/ByteLayout.h"

namespace quorlix::chm {

StringsFile::StringsFile()
    : bytes_(1, 0)
{
    offsets_.emplace(std::string(), 0);
}

std::uint32_t StringsFile::add(std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    if (text.size() > kBlockSize - 1)
        text = text.substr(0, kBlockSize - 1);
    const auto [known, added] = offsets_.try_emplace(std::string(text), 0);
    if (!added)
        return known->second;

    const std::size_t roomInBlock = kBlockSize - bytes_.size() % kBlockSize;
    if (text.size() + 1 > roomInBlock)
        bytes_.resize(bytes_.size() + roomInBlock, 0); // start the next block
    const auto offset = static_cast<std::uint32_t>(bytes_.size());
    appendTerminated(bytes_, text);
    known->second = offset;
    return offset;
}

} // namespace quorlix::chm
