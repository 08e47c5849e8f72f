#include "chm/search/WordTable.h"

#include <functional>
#include <stdexcept>

namespace quorlix::chm {

std::uint32_t WordTable::idOf(std::string_view word)
{
    if (2 * (words_.size() + 1) > slots_.size())
        grow();
    const auto hash = static_cast<std::uint32_t>(std::hash<std::string_view>{}(word));
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t taken = slots_[slot];
        if (taken == 0) {
            if (words_.size() >= UINT32_MAX - 1 || bytes_.size() + word.size() > UINT32_MAX)
                throw std::length_error("too many words for the search index");
            words_.push_back({static_cast<std::uint32_t>(bytes_.size()), hash, static_cast<std::uint32_t>(word.size())});
            bytes_.append(word);
            slots_[slot] = static_cast<std::uint32_t>(words_.size());
            return static_cast<std::uint32_t>(words_.size() - 1);
        }
        const Entry &entry = words_[taken - 1];
        if (entry.hash == hash && this->word(taken - 1) == word)
            return taken - 1;
    }
}

void WordTable::grow()
{
    std::vector<std::uint32_t> slots(slots_.empty() ? 1024 : 2 * slots_.size(), 0);
    const std::size_t mask = slots.size() - 1;
    for (std::uint32_t id = 0; id < words_.size(); ++id) {
        std::size_t slot = words_[id].hash & mask;
        while (slots[slot] != 0)
            slot = (slot + 1) & mask;
        slots[slot] = id + 1;
    }
    slots_.swap(slots);
}

} // namespace quorlix::chm
