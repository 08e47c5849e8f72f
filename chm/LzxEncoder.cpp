#include "chm/LzxEncoder.h"

#include "chm/LzxBitWriter.h"
#include "chm/LzxFormat.h"
#include "chm/LzxHuffman.h"
#include "chm/LzxMatchFinder.h"
#include "chm/LzxTreeSegment.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace quorlix::chm {

namespace {

using namespace lzx;

// Search effort: about what deflate spends at its default level.
constexpr unsigned kMaxChain = 48;
constexpr unsigned kNiceLength = 128;
// A match at least this long is taken without looking one byte further.
constexpr unsigned kLazyLimit = 48;

// Rough costs in quarter bits, for choosing between matches before the
// block's real codes are known.
constexpr int kLiteralCost = 26;
constexpr int kLongLengthCost = 16;

constexpr std::uint16_t kNoLength = 0xFFFF;

struct Token {
    std::uint16_t main;
    std::uint16_t length; // kNoLength when the main symbol says it all
    std::uint32_t footer;
    std::uint8_t footerBits;
};

struct Choice {
    unsigned length = 0; // 0: a literal
    std::uint32_t distance = 0;
    int gain = 0;
};

class IntervalEncoder {
public:
    IntervalEncoder() : finder_(kMaxChain, kNiceLength) {}

    LzxInterval encode(std::span<const std::uint8_t> input)
    {
        assert(input.size() <= kLzxResetInterval);
        LzxInterval result;
        if (input.empty())
            return result;
        data_ = input.data();
        finder_.reset(input.data(), input.size());
        nextInsert_ = 0;
        repeats_ = {1, 1, 1};
        previousMain_.fill(0);
        previousLength_.fill(0);
        result.bytes.reserve(input.size() / 2 + 64);

        LzxBitWriter out(result.bytes);
        out.put(0, 1); // no Intel E8 translation
        for (std::size_t begin = 0; begin < input.size(); begin += kLzxFrameSize) {
            const std::size_t end = std::min(begin + kLzxFrameSize, input.size());
            result.frameStarts.push_back(static_cast<std::uint32_t>(out.byteSize()));
            const auto repeatsBefore = repeats_;
            parse(begin, end);
            writeBlock(out, begin, end, repeatsBefore);
            out.alignToWord();
        }
        return result;
    }

private:
    void insertUpTo(std::size_t pos)
    {
        while (nextInsert_ < pos)
            finder_.insert(nextInsert_++);
    }

    static int matchCost(unsigned length, unsigned slot)
    {
        return 4 * (9 + static_cast<int>(extraBits(slot))) + (length >= 9 ? kLongLengthCost : 0);
    }

    Choice best(std::size_t pos, std::size_t end)
    {
        Choice choice;
        const unsigned maxLength = static_cast<unsigned>(std::min<std::size_t>(kMaxMatch, end - pos));
        if (maxLength < kMinMatch)
            return choice;
        for (unsigned i = 0; i < 3; ++i) {
            const std::uint32_t distance = repeats_[i];
            if (distance > pos)
                continue;
            const unsigned length = commonLength(data_ + pos - distance, data_ + pos, maxLength);
            if (length < kMinMatch)
                continue;
            const int gain = static_cast<int>(length) * kLiteralCost - 4 * (7 + (i != 0)) -
                             (length >= 9 ? kLongLengthCost : 0);
            if (gain > choice.gain)
                choice = {length, distance, gain};
        }
        insertUpTo(pos);
        const LzxMatchFinder::Match match = finder_.find(pos, maxLength);
        if (match.length > choice.length) {
            const int gain = static_cast<int>(match.length) * kLiteralCost -
                             matchCost(match.length, positionSlot(match.distance + 2));
            if (gain > choice.gain)
                choice = {match.length, match.distance, gain};
        }
        return choice;
    }

    void parse(std::size_t begin, std::size_t end)
    {
        tokens_.clear();
        mainFrequencies_.fill(0);
        lengthFrequencies_.fill(0);
        std::size_t pos = begin;
        Choice current = best(pos, end);
        while (pos < end) {
            if (current.length == 0) {
                addLiteral(data_[pos]);
                ++pos;
                if (pos < end)
                    current = best(pos, end);
                continue;
            }
            if (current.length < kLazyLimit && pos + 1 < end) {
                const Choice next = best(pos + 1, end);
                if (next.gain > current.gain) {
                    addLiteral(data_[pos]);
                    ++pos;
                    current = next;
                    continue;
                }
            }
            addMatch(current.length, current.distance);
            pos += current.length;
            if (pos < end)
                current = best(pos, end);
        }
    }

    void addLiteral(std::uint8_t byte)
    {
        tokens_.push_back({byte, kNoLength, 0, 0});
        ++mainFrequencies_[byte];
    }

    void addMatch(unsigned length, std::uint32_t distance)
    {
        unsigned slot;
        std::uint32_t footer = 0;
        unsigned footerBits = 0;
        if (distance == repeats_[0]) {
            slot = 0;
        } else if (distance == repeats_[1]) {
            slot = 1;
            std::swap(repeats_[0], repeats_[1]);
        } else if (distance == repeats_[2]) {
            slot = 2;
            std::swap(repeats_[0], repeats_[2]);
        } else {
            const std::uint32_t formatted = distance + 2;
            slot = positionSlot(formatted);
            footerBits = extraBits(slot);
            footer = formatted - kPositionBase[slot];
            repeats_ = {distance, repeats_[0], repeats_[1]};
        }
        const unsigned header = length - kMinMatch;
        Token token{};
        token.main = static_cast<std::uint16_t>(kLiterals + slot * 8 + std::min(header, kPrimaryLengths));
        token.length = kNoLength;
        if (header >= kPrimaryLengths) {
            token.length = static_cast<std::uint16_t>(header - kPrimaryLengths);
            ++lengthFrequencies_[token.length];
        }
        token.footer = footer;
        token.footerBits = static_cast<std::uint8_t>(footerBits);
        ++mainFrequencies_[token.main];
        tokens_.push_back(token);
    }

    void writeBlock(LzxBitWriter& out, std::size_t begin, std::size_t end,
                    const std::array<std::uint32_t, 3>& repeatsBefore)
    {
        const std::size_t size = end - begin;
        std::array<std::uint8_t, kMainSymbols> mainLengths;
        std::array<std::uint8_t, kLengthSymbols> lengthLengths;
        buildHuffmanLengths(mainFrequencies_, kMaxCodeLength, mainLengths);
        buildHuffmanLengths(lengthFrequencies_, kMaxCodeLength, lengthLengths);

        const std::span<const std::uint8_t> main(mainLengths), previous(previousMain_);
        const LzxTreeSegment literals(main.first(kLiterals), previous.first(kLiterals));
        const LzxTreeSegment matches(main.subspan(kLiterals), previous.subspan(kLiterals));
        const LzxTreeSegment lengths(lengthLengths, previousLength_);

        std::size_t verbatimBits = 3 + 24 + literals.bitSize() + matches.bitSize() + lengths.bitSize();
        for (unsigned s = 0; s < kMainSymbols; ++s)
            verbatimBits += std::size_t{mainFrequencies_[s]} * mainLengths[s];
        for (unsigned s = 0; s < kLengthSymbols; ++s)
            verbatimBits += std::size_t{lengthFrequencies_[s]} * lengthLengths[s];
        for (const Token& token : tokens_)
            verbatimBits += token.footerBits;

        const unsigned headerEnd = (out.pendingBits() + 27) % 16;
        const std::size_t storedBits = 27 + (16 - headerEnd) + 96 + 8 * (size + (size & 1));

        if (verbatimBits < storedBits) {
            out.put(kVerbatimBlock, 3);
            out.put(static_cast<std::uint32_t>(size), 24);
            literals.write(out);
            matches.write(out);
            lengths.write(out);
            std::array<std::uint16_t, kMainSymbols> mainCodes;
            std::array<std::uint16_t, kLengthSymbols> lengthCodes;
            buildHuffmanCodes(mainLengths, mainCodes);
            buildHuffmanCodes(lengthLengths, lengthCodes);
            for (const Token& token : tokens_) {
                out.put(mainCodes[token.main], mainLengths[token.main]);
                if (token.length != kNoLength)
                    out.put(lengthCodes[token.length], lengthLengths[token.length]);
                if (token.footerBits != 0)
                    out.put(token.footer, token.footerBits);
            }
            previousMain_ = mainLengths;
            previousLength_ = lengthLengths;
            return;
        }

        // Stored: after the header, 1 to 16 bits of padding up to a 16-bit
        // boundary (a whole word when already there), the three repeated
        // offsets, the bytes, and a pad byte after an odd count. The code
        // lengths of the last verbatim block stay in force.
        out.put(kUncompressedBlock, 3);
        out.put(static_cast<std::uint32_t>(size), 24);
        out.put(0, out.pendingBits() == 0 ? 16 : 16 - out.pendingBits());
        repeats_ = repeatsBefore;
        for (const std::uint32_t r : repeats_) {
            const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(r >> 8),
                                           static_cast<std::uint8_t>(r >> 16), static_cast<std::uint8_t>(r >> 24)};
            out.putBytes(bytes, 4);
        }
        out.putBytes(data_ + begin, size);
        if (size & 1) {
            const std::uint8_t pad = 0;
            out.putBytes(&pad, 1);
        }
    }

    LzxMatchFinder finder_;
    const std::uint8_t* data_ = nullptr;
    std::size_t nextInsert_ = 0;
    std::array<std::uint32_t, 3> repeats_{1, 1, 1};
    std::vector<Token> tokens_;
    std::array<std::uint32_t, kMainSymbols> mainFrequencies_{};
    std::array<std::uint32_t, kLengthSymbols> lengthFrequencies_{};
    std::array<std::uint8_t, kMainSymbols> previousMain_{};
    std::array<std::uint8_t, kLengthSymbols> previousLength_{};
};

} // namespace

LzxInterval compressLzxInterval(std::span<const std::uint8_t> input)
{
    // One encoder per thread keeps its tables between intervals.
    thread_local IntervalEncoder encoder;
    return encoder.encode(input);
}

} // namespace quorlix::chm
