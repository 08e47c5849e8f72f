#pragma once

// A page parsed by gumbo, with every byte of its tree in one list of
// allocations, so that a parse can be abandoned midway (the caller asked
// to stop) and the tree freed without walking it.

#include <atomic>
#include <chrono>
#include <memory>
#include <string_view>

struct GumboInternalNode;
struct GumboInternalOutput;

namespace quorlix::html {

class ParsedDocument {
public:
    // The parse of utf8, or nullptr when stop was set while it ran, the
    // deadline passed or memory ran out. stop may be nullptr.
    static std::unique_ptr<ParsedDocument> parse(std::string_view utf8, const std::atomic<bool> *stop,
                                                 std::chrono::steady_clock::time_point deadline);

    ~ParsedDocument();
    ParsedDocument(const ParsedDocument &) = delete;
    ParsedDocument &operator=(const ParsedDocument &) = delete;

    const GumboInternalNode *root() const;

private:
    struct Allocations;
    explicit ParsedDocument(std::unique_ptr<Allocations> allocations, GumboInternalOutput *output);

    std::unique_ptr<Allocations> mAllocations;
    GumboInternalOutput *mOutput;
};

} // namespace quorlix::html
