#include "chm/search/SearchIndexThread.h"

#include <utility>

namespace quorlix::chm {

namespace {

// Texts waiting beyond this hold the compile back: a slow index must not
// keep a large site's whole text in memory.
constexpr std::size_t kMostQueuedBytes = 32u << 20;

} // namespace

SearchIndexThread::SearchIndexThread(std::uint32_t languageId)
    : builder_(languageId), thread_([this] { run(); })
{
}

SearchIndexThread::~SearchIndexThread()
{
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
        queue_.clear();
    }
    changed_.notify_all();
    thread_.join();
}

void SearchIndexThread::addDocument(std::uint32_t topic, std::string title, std::string text)
{
    push(Page{topic, std::move(title), std::move(text), {}, {}});
}

void SearchIndexThread::addSplitDocument(std::uint32_t topic, std::function<PageWords()> readWords,
                                         std::span<const std::string_view> words)
{
    push(Page{topic, {}, {}, std::move(readWords), words});
}

void SearchIndexThread::push(Page page)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return failure_ || ending_ || queuedBytes_ < kMostQueuedBytes; });
    if (failure_ || ending_)
        return; // build() says so
    queuedBytes_ += page.text.size();
    queue_.push_back(std::move(page));
    changed_.notify_all();
}

void SearchIndexThread::setLanguageId(std::uint32_t languageId)
{
    // Read by build() alone, after the thread has taken every page.
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return failure_ || (queue_.empty() && !busy_); });
    builder_.setLanguageId(languageId);
}

void SearchIndexThread::allAdded()
{
    std::lock_guard lock(mutex_);
    allAdded_ = true;
    changed_.notify_all();
}

void SearchIndexThread::run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return ending_ || !queue_.empty() || allAdded_; });
        if (ending_)
            return;
        if (queue_.empty()) {
            lock.unlock();
            std::optional<std::vector<std::uint8_t>> built;
            std::exception_ptr failure;
            try {
                built = builder_.build();
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            built_ = std::move(built);
            failure_ = failure;
            changed_.notify_all();
            settled_.notify_all();
            return;
        }
        Page page = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        const std::size_t queued = page.text.size();
        std::exception_ptr failure;
        try {
            if (page.readWords)
                builder_.addSplitDocument(page.topic, page.readWords(), page.words);
            else
                builder_.addDocument(page.topic, page.title, page.text);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        busy_ = false;
        queuedBytes_ -= queued;
        if (failure) {
            failure_ = failure;
            queue_.clear();
        }
        changed_.notify_all();
        if (failure_) {
            settled_.notify_all();
            return;
        }
    }
}

std::vector<std::uint8_t> SearchIndexThread::build()
{
    allAdded();
    std::unique_lock lock(mutex_);
    settled_.wait(lock, [this] { return failure_ || built_; });
    if (failure_)
        std::rethrow_exception(failure_);
    return std::move(*built_);
}

} // namespace quorlix::chm
