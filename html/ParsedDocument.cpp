#include "html/ParsedDocument.h"

#include <gumbo.h>

#include <csetjmp>
#include <cstddef>
#include <cstdlib>

namespace quorlix::html {

// Every block gumbo asks for, linked in front of it: freeing one unlinks it,
// and the whole list goes at once when the document does. That also spares
// gumbo's own recursive teardown, which a deeply nested page could run off
// the stack with.
struct ParsedDocument::Allocations {
    struct alignas(std::max_align_t) Block {
        Block *previous;
        Block *next;
    };

    Block list{&list, &list};
    const std::atomic<bool> *stop = nullptr;
    std::chrono::steady_clock::time_point deadline;
    unsigned int count = 0;
    std::jmp_buf escape;

    ~Allocations()
    {
        for (Block *block = list.next; block != &list;) {
            Block *next = block->next;
            std::free(block);
            block = next;
        }
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
        auto *block = static_cast<Block *>(std::malloc(sizeof(Block) + size));
        if (!block)
            std::longjmp(self->escape, 1);
        block->previous = &self->list;
        block->next = self->list.next;
        self->list.next->previous = block;
        self->list.next = block;
        return block + 1;
    }

    static void release(void *, void *pointer)
    {
        if (!pointer)
            return;
        Block *block = static_cast<Block *>(pointer) - 1;
        block->previous->next = block->next;
        block->next->previous = block->previous;
        std::free(block);
    }
};

namespace {

GumboOutput *parseOrEscape(const GumboOptions *options, std::jmp_buf &escape, const char *data, std::size_t size)
{
    if (setjmp(escape) != 0)
        return nullptr;
    return gumbo_parse_with_options(options, data, size);
}

} // namespace

std::unique_ptr<ParsedDocument> ParsedDocument::parse(std::string_view utf8, const std::atomic<bool> *stop,
                                                      std::chrono::steady_clock::time_point deadline)
{
    auto allocations = std::make_unique<Allocations>();
    allocations->stop = stop;
    allocations->deadline = deadline;
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &Allocations::allocate;
    options.deallocator = &Allocations::release;
    options.userdata = allocations.get();
    options.max_errors = 0; // nobody reads them
    GumboOutput *output = parseOrEscape(&options, allocations->escape, utf8.data(), utf8.size());
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
