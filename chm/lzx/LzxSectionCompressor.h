#pragma once

// Compresses a whole content stream (the MSCompressed section of a help
// file): the stream is cut into 64 KiB reset intervals, which worker threads
// compress independently; the compressed bytes reach the sink in order, on
// the thread that calls write() or finish().
//
// How the stream ends, so that chmlib, libmspack and 7-Zip all read it:
// - the last frame is padded with zeros to a whole 32 KiB frame (chmlib and
//   7-Zip decode whole frames only);
// - when the stream ends on a frame's end, or one byte short of it, the
//   next frame gets an entry too (7-Zip counts frames as
//   (uncompressedSize + 32769) / 32768) and libmspack decodes it or reads a
//   few bytes into it: it is a zero frame in the middle of a reset interval,
//   a 4-byte zero tail at the end of one;
// - otherwise nothing follows the last frame (7-Zip wants the last entry's
//   bytes used up exactly).
//
// Result, for the container's reset table and ControlData:
// - uncompressedSize: the bytes written, without the padding;
// - compressedSize: all bytes handed to the sink;
// - frameOffsets: the reset table, (uncompressedSize + 32769) / 32768
//   entries: the offset of each frame's first compressed byte from the start
//   of the compressed stream; the first is 0 (also for an empty stream, which
//   has no bytes at all).

#include "chm/lzx/LzxEncoder.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace quorlix::chm {

class LzxSectionCompressor {
public:
    using Sink = std::function<void(std::span<const std::uint8_t>)>;
    // background: the worker threads run only on cores that would idle (and there is
    // at least one, so the caller never compresses itself).
    explicit LzxSectionCompressor(Sink sink, unsigned threads = 0 /* 0: all cores */, bool background = false);
    ~LzxSectionCompressor();
    LzxSectionCompressor(const LzxSectionCompressor&) = delete;
    LzxSectionCompressor& operator=(const LzxSectionCompressor&) = delete;

    // write and finish pass on what the sink throws, and a compression's
    // own failure (out of memory); the compressor is unusable after that.
    void write(std::span<const std::uint8_t> data);

    // A whole reset interval compressed earlier (a prepared compile's), put
    // next in the stream as it is; only where the stream is at an
    // interval's start.
    void adopt(LzxInterval interval);
    // Nothing waits behind the compressor any more (the download has
    // ended): threads more workers (0: all cores) at the caller's own
    // priority take the intervals too, so that a busy machine does not
    // starve the background ones. Callable from any thread, while another
    // writes.
    void hurry(unsigned threads = 0);
    // Hands every whole interval written so far to the sink (the stream's
    // unfinished end stays), so that each sink call is one interval.
    void flush();
    // Each interval, with where its frames start, as it reaches the sink.
    using IntervalSink = std::function<void(const LzxInterval &)>;
    void onInterval(IntervalSink sink) { intervalSink_ = std::move(sink); }

    struct Result {
        std::uint64_t uncompressedSize = 0, compressedSize = 0;
        std::vector<std::uint64_t> frameOffsets; // compressed offset of every frame: the reset table
    };
    // Compresses what is left and hands it to the sink; call once.
    Result finish();

private:
    struct Workers;
    void submitPending();
    void deliver(LzxInterval&& interval);
    void drain(bool wait, std::size_t keepAtMost);

    Sink sink_;
    IntervalSink intervalSink_;
    std::unique_ptr<Workers> workers_; // null when compressing on the calling thread
    std::vector<std::uint8_t> pending_;
    Result result_;
};

} // namespace quorlix::chm
