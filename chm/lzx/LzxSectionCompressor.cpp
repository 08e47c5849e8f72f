#include "chm/lzx/LzxSectionCompressor.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace quorlix::chm {

struct LzxSectionCompressor::Workers {
    struct Job {
        std::vector<std::uint8_t> input;
        LzxInterval output;
        std::exception_ptr failure; // out of memory, handed to the caller
        bool done = false;
    };

    Workers(unsigned count, bool background) : maxInFlight(3 * count)
    {
        start(count, background);
    }

    // A thread takes the priority of the thread that starts it: the
    // background ones are lowered, the others keep the caller's.
    void start(unsigned count, bool background)
    {
        std::lock_guard lock(threadsMutex);
        for (unsigned i = 0; i < count; ++i)
            threads.emplace_back([this, background] {
                // Only where a core would idle otherwise: what else runs (a
                // download) must not wait for it, not even as a low-priority
                // thread's share; hurry() takes over what is left.
                if (background) {
                    const sched_param none{};
                    if (::sched_setscheduler(::gettid(), SCHED_IDLE, &none) != 0)
                        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
                }
                run();
            });
    }

    ~Workers()
    {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        workAvailable.notify_all();
        std::lock_guard lock(threadsMutex);
        for (auto& thread : threads)
            thread.join();
    }

    void run()
    {
        for (;;) {
            std::shared_ptr<Job> job;
            {
                std::unique_lock lock(mutex);
                workAvailable.wait(lock, [this] { return stopping || !queue.empty(); });
                if (stopping)
                    return;
                job = std::move(queue.front());
                queue.pop_front();
            }
            LzxInterval output;
            std::exception_ptr failure;
            try {
                output = compressLzxInterval(job->input);
            } catch (...) {
                failure = std::current_exception();
            }
            {
                std::lock_guard lock(mutex);
                job->output = std::move(output);
                job->failure = failure;
                job->input = {};
                job->done = true;
            }
            jobDone.notify_all();
        }
    }

    const std::size_t maxInFlight;
    std::mutex mutex;
    std::condition_variable workAvailable, jobDone;
    std::deque<std::shared_ptr<Job>> queue;    // waiting for a thread
    std::deque<std::shared_ptr<Job>> inFlight; // submitted and not yet delivered, in stream order
    bool stopping = false;
    std::mutex threadsMutex; // hurry() starts threads while others run
    std::vector<std::thread> threads;
};

LzxSectionCompressor::LzxSectionCompressor(Sink sink, unsigned threads, bool background) : sink_(std::move(sink))
{
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    if (threads > 1 || background)
        workers_ = std::make_unique<Workers>(threads, background);
    pending_.reserve(kLzxResetInterval);
}

LzxSectionCompressor::~LzxSectionCompressor() = default;

void LzxSectionCompressor::write(std::span<const std::uint8_t> data)
{
    result_.uncompressedSize += data.size();
    while (!data.empty()) {
        const std::size_t take = std::min(data.size(), kLzxResetInterval - pending_.size());
        pending_.insert(pending_.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(take));
        data = data.subspan(take);
        if (pending_.size() == kLzxResetInterval)
            submitPending();
    }
}

void LzxSectionCompressor::adopt(LzxInterval interval)
{
    if (!pending_.empty() || interval.frameStarts.size() != kLzxResetInterval / kLzxFrameSize)
        throw std::logic_error("a compressed interval is adopted only whole, at an interval's start");
    drain(true, 0);
    result_.uncompressedSize += kLzxResetInterval;
    deliver(std::move(interval));
}

void LzxSectionCompressor::hurry(unsigned threads)
{
    if (!workers_)
        return;
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    workers_->start(threads, false);
}

void LzxSectionCompressor::flush()
{
    drain(true, 0);
}

LzxSectionCompressor::Result LzxSectionCompressor::finish()
{
    const std::uint64_t size = result_.uncompressedSize;
    if (!pending_.empty()) {
        // The last frame is padded to a whole frame; a stream that ends one
        // byte short of a frame or on a frame's end in the first half of an
        // interval gets the interval's second frame as well (all zeros).
        const std::size_t used = pending_.size();
        pending_.resize(used + 1 < kLzxFrameSize ? kLzxFrameSize : kLzxResetInterval, 0);
        submitPending();
    }
    drain(true, 0);
    if (size == 0) {
        result_.frameOffsets = {0};
    } else if (size % kLzxResetInterval == 0 || size % kLzxResetInterval == kLzxResetInterval - 1) {
        // A stream ending on (or a byte short of) a reset interval gets a
        // short zero tail, with a reset table entry of its own: libmspack
        // reads up to four bytes past the stream's last frame.
        static constexpr std::uint8_t kTail[4] = {};
        result_.frameOffsets.push_back(result_.compressedSize);
        result_.compressedSize += sizeof kTail;
        sink_(kTail);
    }
    return std::move(result_);
}

void LzxSectionCompressor::submitPending()
{
    if (!workers_) {
        deliver(compressLzxInterval(pending_));
        pending_.clear();
        return;
    }
    auto job = std::make_shared<Workers::Job>();
    job->input = std::move(pending_);
    pending_ = {};
    pending_.reserve(kLzxResetInterval);
    {
        std::lock_guard lock(workers_->mutex);
        workers_->queue.push_back(job);
        workers_->inFlight.push_back(std::move(job));
    }
    workers_->workAvailable.notify_one();
    drain(false, workers_->maxInFlight);
}

// Hands finished intervals to the sink in order; waits for the oldest while
// more than keepAtMost are in flight (all of them when wait is set).
void LzxSectionCompressor::drain(bool wait, std::size_t keepAtMost)
{
    if (!workers_)
        return;
    for (;;) {
        std::shared_ptr<Workers::Job> job;
        {
            std::unique_lock lock(workers_->mutex);
            if (workers_->inFlight.empty())
                return;
            auto& front = workers_->inFlight.front();
            if (!front->done) {
                if (!wait && workers_->inFlight.size() <= keepAtMost)
                    return;
                workers_->jobDone.wait(lock, [&] { return front->done; });
            }
            job = std::move(front);
            workers_->inFlight.pop_front();
        }
        if (job->failure)
            std::rethrow_exception(job->failure);
        deliver(std::move(job->output));
    }
}

void LzxSectionCompressor::deliver(LzxInterval&& interval)
{
    for (const std::uint32_t start : interval.frameStarts)
        result_.frameOffsets.push_back(result_.compressedSize + start);
    result_.compressedSize += interval.bytes.size();
    if (intervalSink_)
        intervalSink_(interval);
    sink_(interval.bytes);
}

} // namespace quorlix::chm
