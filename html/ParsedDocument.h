#pragma once

// A page parsed by gumbo, with every byte of its tree in one list of
// allocations, so that a parse can be abandoned midway (the caller asked
// to stop, or the page passed the bounds every page is read in) and the
// tree freed without walking it.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string_view>

struct GumboInternalNode;
struct GumboInternalOutput;

namespace quorlix::html {

class ParsedDocument {
public:
    // Pages larger than this are not parsed whole (see parsePage).
    static constexpr std::size_t kLargestWholePage = 16u << 20;

    // The parse of a page's utf8 within the bounds every page is read in: a
    // time and a memory budget that grow with its size. nullptr when stop
    // was set while it ran (stop may be nullptr) or a bound was passed.
    static std::unique_ptr<ParsedDocument> parse(std::string_view utf8, const std::atomic<bool> *stop);
    // The same with a deadline of the caller's and memory bounded only by
    // the machine's: for a file of the program's own making.
    static std::unique_ptr<ParsedDocument> parse(std::string_view utf8, const std::atomic<bool> *stop,
                                                 std::chrono::steady_clock::time_point deadline);
    // The time and memory a page of size bytes may take to parse.
    static std::chrono::steady_clock::duration timeFor(std::size_t size);
    static std::size_t memoryFor(std::size_t size);

    ~ParsedDocument();
    ParsedDocument(const ParsedDocument &) = delete;
    ParsedDocument &operator=(const ParsedDocument &) = delete;

    const GumboInternalNode *root() const;

private:
    struct Allocations;
    explicit ParsedDocument(std::unique_ptr<Allocations> allocations, GumboInternalOutput *output);
    static std::unique_ptr<ParsedDocument> parse(std::string_view utf8, const std::atomic<bool> *stop,
                                                 std::chrono::steady_clock::time_point deadline, std::size_t memory);

    std::unique_ptr<Allocations> mAllocations;
    GumboInternalOutput *mOutput;
};

} // namespace quorlix::html
