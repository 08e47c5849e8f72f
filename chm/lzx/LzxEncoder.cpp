#include "chm/lzx/LzxEncoder.h"

#include "chm/lzx/LzxBitWriter.h"
#include "chm/lzx/LzxFormat.h"
#include "chm/lzx/LzxHuffman.h"
#include "chm/lzx/LzxMatchFinder.h"
#include "chm/lzx/LzxTreeSegment.h"

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
constexpr int kLiteralCost = 20;
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

// One 32 KiB frame, parsed into literals and matches.
struct Frame {
    std::size_t begin = 0, end = 0;
    std::vector<Token> tokens;
    std::array<std::uint32_t, kMainSymbols> mainFrequencies{};
    std::array<std::uint32_t, kLengthSymbols> lengthFrequencies{};
    std::size_t footerBits = 0;
    std::array<std::uint32_t, 3> repeatsAfter{};
};

using MainLengths = std::array<std::uint8_t, kMainSymbols>;
using LengthLengths = std::array<std::uint8_t, kLengthSymbols>;

// A verbatim block over one or more frames: its codes, how its header sends
// them, and its size in bits.
struct VerbatimBlock {
    MainLengths main{};
    LengthLengths length{};
    std::vector<LzxTreeSegment> trees;
    std::size_t bits = 0;

    VerbatimBlock(std::span<const Frame* const> frames, const MainLengths& previousMain,
                  const LengthLengths& previousLength)
    {
        std::array<std::uint32_t, kMainSymbols> mainFrequencies{};
        std::array<std::uint32_t, kLengthSymbols> lengthFrequencies{};
        std::size_t footerBits = 0;
        for (const Frame* frame : frames) {
            for (unsigned s = 0; s < kMainSymbols; ++s)
                mainFrequencies[s] += frame->mainFrequencies[s];
            for (unsigned s = 0; s < kLengthSymbols; ++s)
                lengthFrequencies[s] += frame->lengthFrequencies[s];
            footerBits += frame->footerBits;
        }
        buildHuffmanLengths(mainFrequencies, kMaxCodeLength, main);
        buildHuffmanLengths(lengthFrequencies, kMaxCodeLength, length);
        const std::span<const std::uint8_t> mainSpan(main), previousSpan(previousMain);
        trees.emplace_back(mainSpan.first(kLiterals), previousSpan.first(kLiterals));
        trees.emplace_back(mainSpan.subspan(kLiterals), previousSpan.subspan(kLiterals));
        trees.emplace_back(length, previousLength);
        bits = 3 + 24 + footerBits + 15 * (frames.size() - 1); // padding inside the block, at most
        for (const auto& tree : trees)
            bits += tree.bitSize();
        for (unsigned s = 0; s < kMainSymbols; ++s)
            bits += std::size_t{mainFrequencies[s]} * main[s];
        for (unsigned s = 0; s < kLengthSymbols; ++s)
            bits += std::size_t{lengthFrequencies[s]} * length[s];
    }
};

std::size_t storedBits(const Frame& frame)
{
    const std::size_t size = frame.end - frame.begin;
    return 3 + 24 + 16 + 96 + 8 * (size + (size & 1));
}

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
        const std::size_t frameCount = (input.size() + kLzxFrameSize - 1) / kLzxFrameSize;
        for (std::size_t f = 0; f < frameCount; ++f)
            parse(frames_[f], f * kLzxFrameSize, std::min((f + 1) * kLzxFrameSize, input.size()));

        result.bytes.reserve(input.size() / 2 + 64);
        LzxBitWriter out(result.bytes);
        out.put(0, 1); // no Intel E8 translation
        const MainLengths noMain{};
        const LengthLengths noLength{};

        // Either one verbatim block for the whole interval (one set of trees
        // to send) or a block of the better kind for each frame.
        const Frame* const all[2] = {&frames_[0], &frames_[1]};
        const VerbatimBlock first(std::span(all, 1), noMain, noLength);
        const bool firstStored = storedBits(frames_[0]) <= first.bits;
        if (frameCount == 1) {
            writeFrame(out, result, frames_[0], firstStored ? nullptr : &first);
        } else {
            const VerbatimBlock joint(std::span(all, 2), noMain, noLength);
            const VerbatimBlock second(std::span(all + 1, 1), firstStored ? noMain : first.main,
                                       firstStored ? noLength : first.length);
            const std::size_t secondBits = std::min(second.bits, storedBits(frames_[1]));
            const std::size_t separateBits = std::min(first.bits, storedBits(frames_[0])) + secondBits;
            if (joint.bits < separateBits) {
                writeBlock(out, result, std::span(all, 2), joint);
            } else {
                writeFrame(out, result, frames_[0], firstStored ? nullptr : &first);
                const bool secondStored = storedBits(frames_[1]) <= second.bits;
                writeFrame(out, result, frames_[1], secondStored ? nullptr : &second);
            }
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

    void parse(Frame& frame, std::size_t begin, std::size_t end)
    {
        frame.begin = begin;
        frame.end = end;
        frame.tokens.clear();
        frame.mainFrequencies.fill(0);
        frame.lengthFrequencies.fill(0);
        frame.footerBits = 0;
        std::size_t pos = begin;
        Choice current = best(pos, end);
        while (pos < end) {
            if (current.length == 0) {
                addLiteral(frame, data_[pos]);
                ++pos;
                if (pos < end)
                    current = best(pos, end);
                continue;
            }
            if (current.length < kLazyLimit && pos + 1 < end) {
                const Choice next = best(pos + 1, end);
                if (next.gain > current.gain) {
                    addLiteral(frame, data_[pos]);
                    ++pos;
                    current = next;
                    continue;
                }
            }
            addMatch(frame, current.length, current.distance);
            pos += current.length;
            if (pos < end)
                current = best(pos, end);
        }
        frame.repeatsAfter = repeats_;
    }

    static void addLiteral(Frame& frame, std::uint8_t byte)
    {
        frame.tokens.push_back({byte, kNoLength, 0, 0});
        ++frame.mainFrequencies[byte];
    }

    void addMatch(Frame& frame, unsigned length, std::uint32_t distance)
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
            ++frame.lengthFrequencies[token.length];
        }
        token.footer = footer;
        token.footerBits = static_cast<std::uint8_t>(footerBits);
        ++frame.mainFrequencies[token.main];
        frame.footerBits += footerBits;
        frame.tokens.push_back(token);
    }

    // One frame as a block of its own: verbatim with the given codes, or
    // stored when there are none.
    void writeFrame(LzxBitWriter& out, LzxInterval& result, const Frame& frame, const VerbatimBlock* block)
    {
        if (block) {
            const Frame* const frames[1] = {&frame};
            writeBlock(out, result, frames, *block);
            return;
        }
        result.frameStarts.push_back(static_cast<std::uint32_t>(out.byteSize()));
        // Stored: after the header, 1 to 16 bits of padding up to a 16-bit
        // boundary (a whole word when already there), the three repeated
        // offsets, the bytes, and a pad byte after an odd count. The offsets
        // are those the next frame was parsed with; the code lengths of the
        // last verbatim block stay in force.
        const std::size_t size = frame.end - frame.begin;
        out.put(kUncompressedBlock, 3);
        out.put(static_cast<std::uint32_t>(size), 24);
        out.put(0, out.pendingBits() == 0 ? 16 : 16 - out.pendingBits());
        for (const std::uint32_t r : frame.repeatsAfter) {
            const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(r >> 8),
                                           static_cast<std::uint8_t>(r >> 16), static_cast<std::uint8_t>(r >> 24)};
            out.putBytes(bytes, 4);
        }
        out.putBytes(data_ + frame.begin, size);
        if (size & 1) {
            const std::uint8_t pad = 0;
            out.putBytes(&pad, 1);
        }
    }

    // A verbatim block over the frames; the stream is realigned to 16 bits
    // where each frame ends, as readers expect.
    static void writeBlock(LzxBitWriter& out, LzxInterval& result, std::span<const Frame* const> frames,
                           const VerbatimBlock& block)
    {
        result.frameStarts.push_back(static_cast<std::uint32_t>(out.byteSize()));
        out.put(kVerbatimBlock, 3);
        out.put(static_cast<std::uint32_t>(frames.back()->end - frames.front()->begin), 24);
        for (const auto& tree : block.trees)
            tree.write(out);
        std::array<std::uint16_t, kMainSymbols> mainCodes;
        std::array<std::uint16_t, kLengthSymbols> lengthCodes;
        buildHuffmanCodes(block.main, mainCodes);
        buildHuffmanCodes(block.length, lengthCodes);
        for (std::size_t f = 0; f < frames.size(); ++f) {
            if (f > 0) {
                out.alignToWord();
                result.frameStarts.push_back(static_cast<std::uint32_t>(out.byteSize()));
            }
            for (const Token& token : frames[f]->tokens) {
                out.put(mainCodes[token.main], block.main[token.main]);
                if (token.length != kNoLength)
                    out.put(lengthCodes[token.length], block.length[token.length]);
                if (token.footerBits != 0)
                    out.put(token.footer, token.footerBits);
            }
        }
        out.alignToWord();
    }

    LzxMatchFinder finder_;
    const std::uint8_t* data_ = nullptr;
    std::size_t nextInsert_ = 0;
    std::array<std::uint32_t, 3> repeats_{1, 1, 1};
    Frame frames_[2];
};

} // namespace

LzxInterval compressLzxInterval(std::span<const std::uint8_t> input)
{
    // One encoder per thread keeps its tables between intervals.
    thread_local IntervalEncoder encoder;
    return encoder.encode(input);
}

} // namespace quorlix::chm
