#include "html/ParsedDocument.h"

#include "html/HugePieceSupply.h"

#include <gumbo.h>

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace quorlix::html {

// Gumbo asks for many small blocks (nodes, attributes, short strings): those
// are cut from large pieces one after another, a freed one is kept for the
// next of its size, and all go when the document does. A large block (a
// long text, a growing list) is linked in front of its own allocation, so
// that freeing it gives it back at once. Letting everything go at once also
// spares gumbo's own recursive teardown, which a deeply nested page could
// run off the stack with. A large page's tree takes a hundred megabytes or
// more: past the first few, pieces are huge ones the kernel may back with
// large pages, since faulting it in 4 kB at a time cost as much as the
// parse itself.
struct ParsedDocument::Allocations {
    // Before every block: a large one's links; a small one has no previous,
    // and its size class in next (the next free block of it once freed).
    struct alignas(std::max_align_t) Header {
        Header *previous;
        Header *next;
    };
    static constexpr std::size_t kSmallest = sizeof(Header);
    static constexpr std::size_t kLargeBlock = 1024;
    static constexpr std::size_t kPiece = 64 * 1024;
    static constexpr std::size_t kHugeFrom = 4u << 20; // taken before huge pieces are used

    Header large{&large, &large};
    Header *pieces = nullptr;     // linked through previous
    Header *hugePieces = nullptr; // the same, each kHugePieceSize long, mapped
    Header *freed[kLargeBlock / kSmallest + 1] = {};
    char *cursor = nullptr;
    char *end = nullptr;
    const std::atomic<bool> *stop = nullptr;
    std::chrono::steady_clock::time_point deadline;
    std::size_t budget = 0; // bytes the tree may take from malloc
    std::size_t taken = 0;
    unsigned int count = 0;
    std::jmp_buf escape;
    std::unique_ptr<HugePieceSupply> supply; // a large page's pieces, faulted in ahead

    ~Allocations()
    {
        for (Header *block = large.next; block != &large;) {
            Header *next = block->next;
            std::free(block - 1);
            block = next;
        }
        while (pieces) {
            Header *previous = pieces->previous;
            std::free(pieces);
            pieces = previous;
        }
        while (hugePieces) {
            Header *previous = hugePieces->previous;
            releaseHugePiece(hugePieces);
            hugePieces = previous;
        }
    }

    // A huge piece, faulted in already where the supply has one ready.
    Header *takeHugePiece()
    {
        void *piece = supply ? supply->take() : nullptr;
        return static_cast<Header *>(piece ? piece : mapHugePiece());
    }

    // A new piece to cut small blocks from; escapes past the budget.
    void newPiece()
    {
        Header *piece = nullptr;
        std::size_t size = kHugePieceSize;
        if (taken >= kHugeFrom && size <= budget - taken && (piece = takeHugePiece())) {
            piece->previous = hugePieces;
            hugePieces = piece;
        } else {
            size = kPiece;
            if (size > budget - taken || !(piece = static_cast<Header *>(std::malloc(size))))
                std::longjmp(escape, 1);
            piece->previous = pieces;
            pieces = piece;
        }
        taken += size;
        cursor = reinterpret_cast<char *>(piece + 1);
        end = reinterpret_cast<char *>(piece) + size;
    }

    // No C++ object with a destructor lives on the stack between the setjmp
    // in parseOrEscape and these longjmps: only gumbo's C frames.
    static void *allocate(void *userdata, std::size_t size)
    {
        auto *self = static_cast<Allocations *>(userdata);
        if (self->stop && self->stop->load(std::memory_order_relaxed))
            std::longjmp(self->escape, 1);
        if (++self->count % 256 == 0 && std::chrono::steady_clock::now() > self->deadline)
            std::longjmp(self->escape, 1);
        if (size > kLargeBlock) {
            // Its size goes in a header of its own before the links, so
            // that a freed one is taken off what the tree holds.
            const std::size_t whole = 2 * sizeof(Header) + size;
            if (whole > self->budget - self->taken)
                std::longjmp(self->escape, 1);
            auto *sized = static_cast<Header *>(std::malloc(whole));
            if (!sized)
                std::longjmp(self->escape, 1);
            self->taken += whole;
            *reinterpret_cast<std::size_t *>(sized) = whole;
            Header *block = sized + 1;
            block->previous = &self->large;
            block->next = self->large.next;
            self->large.next->previous = block;
            self->large.next = block;
            return block + 1;
        }
        const std::size_t sizeClass = (size + kSmallest - 1) / kSmallest;
        if (Header *block = self->freed[sizeClass]) {
            self->freed[sizeClass] = block->next;
            block->next = reinterpret_cast<Header *>(sizeClass);
            return block + 1;
        }
        const std::size_t need = sizeof(Header) + sizeClass * kSmallest;
        if (static_cast<std::size_t>(self->end - self->cursor) < need)
            self->newPiece();
        auto *block = reinterpret_cast<Header *>(self->cursor);
        self->cursor += need;
        block->previous = nullptr;
        block->next = reinterpret_cast<Header *>(sizeClass);
        return block + 1;
    }

    static void release(void *userdata, void *pointer)
    {
        if (!pointer)
            return;
        Header *block = static_cast<Header *>(pointer) - 1;
        if (!block->previous) { // a small one: kept for the next of its size
            auto *self = static_cast<Allocations *>(userdata);
            const auto sizeClass = reinterpret_cast<std::size_t>(block->next);
            block->next = self->freed[sizeClass];
            self->freed[sizeClass] = block;
            return;
        }
        block->previous->next = block->next;
        block->next->previous = block->previous;
        Header *sized = block - 1;
        static_cast<Allocations *>(userdata)->taken -= *reinterpret_cast<std::size_t *>(sized);
        std::free(sized);
    }
};

namespace {

constexpr std::size_t kSuppliedFrom = 1u << 20;
constexpr std::size_t kSuppliedTimesThePage = 16;
constexpr unsigned kSuppliedAhead = 8;

GumboOutput *parseOrEscape(const GumboOptions *options, std::jmp_buf &escape, const char *data, std::size_t size)
{
    if (setjmp(escape) != 0)
        return nullptr;
    return gumbo_parse_with_options(options, data, size);
}

} // namespace

// Gumbo's time grows with the square of the depth on some markup (elements
// nested tens of thousands deep): a page gets what an ordinary page of its
// size needs, many times over, and is given up after that.
std::chrono::steady_clock::duration ParsedDocument::timeFor(std::size_t size)
{
    using namespace std::chrono_literals;
    return 4s + 2s * static_cast<long>(size >> 20);
}

// Gumbo's tree of a real documentation page takes 10 to 16 times the page
// (Python's pages, the largest its 2.5 MB contents.html at 9.5; Node.js's
// 8.4 MB all.html at 11.7; small pages up to 24 with the fixed cost of a
// parse, which the floor covers). Markup made to cost more takes 50 to 65
// times (tables nested in tables, formatting elements left open): a parse
// is given up past twice what real pages need, and whatever a page's size,
// past the ceiling, which a real page up to kLargestWholePage stays below.
std::size_t ParsedDocument::memoryFor(std::size_t size)
{
    constexpr std::size_t kFloor = 16u << 20;
    constexpr std::size_t kCeiling = 192u << 20;
    constexpr std::size_t kTimesThePage = 32;
    return std::clamp(size * kTimesThePage, kFloor, kCeiling);
}

std::unique_ptr<ParsedDocument> ParsedDocument::parse(std::string_view utf8, const std::atomic<bool> *stop)
{
    return parse(utf8, stop, std::chrono::steady_clock::now() + timeFor(utf8.size()), memoryFor(utf8.size()));
}

std::unique_ptr<ParsedDocument> ParsedDocument::parse(std::string_view utf8, const std::atomic<bool> *stop,
                                                      std::chrono::steady_clock::time_point deadline)
{
    return parse(utf8, stop, deadline, std::numeric_limits<std::size_t>::max());
}

std::unique_ptr<ParsedDocument> ParsedDocument::parse(std::string_view utf8, const std::atomic<bool> *stop,
                                                      std::chrono::steady_clock::time_point deadline,
                                                      std::size_t memory)
{
    auto allocations = std::make_unique<Allocations>();
    allocations->stop = stop;
    allocations->deadline = deadline;
    allocations->budget = memory;
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &Allocations::allocate;
    options.deallocator = &Allocations::release;
    options.userdata = allocations.get();
    options.max_errors = 0; // nobody reads them: a page of errors keeps none
    // A large page's tree, some twelve times the page, is faulted in on
    // another core as the parse goes; never more than the budget, and only
    // a few pieces ahead of the parse.
    if (utf8.size() >= kSuppliedFrom)
        allocations->supply = std::make_unique<HugePieceSupply>(std::min(memory, kSuppliedTimesThePage * utf8.size()),
                                                                kSuppliedAhead);
    GumboOutput *output = parseOrEscape(&options, allocations->escape, utf8.data(), utf8.size());
    allocations->supply.reset();
    if (!output)
        return nullptr;
    return std::unique_ptr<ParsedDocument>(new ParsedDocument(std::move(allocations), output));
}

ParsedDocument::ParsedDocument(std::unique_ptr<Allocations> allocations, GumboOutput *output)
    : mAllocations(std::move(allocations)), mOutput(output)
{
}

ParsedDocument::~ParsedDocument() = default;

const GumboNode *ParsedDocument::root() const
{
    return mOutput->root;
}

} // namespace quorlix::html
