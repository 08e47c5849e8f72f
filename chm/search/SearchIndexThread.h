// The full-text search index built on a thread of its own beside the
// compile: the compile hands each page's words over in topic order and goes
// on storing and compressing files, and takes the index at the end.
#pragma once

#include "chm/search/FullTextIndex.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace quorlix::chm {

class SearchIndexThread {
public:
    explicit SearchIndexThread(std::uint32_t languageId);
    ~SearchIndexThread();
    SearchIndexThread(const SearchIndexThread &) = delete;
    SearchIndexThread &operator=(const SearchIndexThread &) = delete;

    // As FullTextIndexBuilder's, in topic order; the texts are handed over.
    void addDocument(std::uint32_t topic, std::string title, std::string text);
    // A page split before, as FullTextIndexBuilder::addSplitDocument's,
    // whose words the index's thread reads when it comes to it: they take
    // no room while they wait, so this never waits. words outlives build().
    void addSplitDocument(std::uint32_t topic, std::function<PageWords()> readWords,
                          std::span<const std::string_view> words);
    void setLanguageId(std::uint32_t languageId);
    // No more pages, nor a new language: the index is built on this thread
    // once it has taken the last page, while the compile goes on.
    void allAdded();
    // The index, once built (allAdded() is implied); passes on what the
    // builder threw.
    std::vector<std::uint8_t> build();

private:
    struct Page {
        std::uint32_t topic;
        std::string title, text;
        std::function<PageWords()> readWords; // when split before
        std::span<const std::string_view> words;
    };
    void push(Page page);
    void run();

    FullTextIndexBuilder builder_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // Told only when the index is built or the builder failed: build() waits
    // on it, and a wake for every page taken cost a large site 10,000 calls.
    std::condition_variable settled_;
    std::deque<Page> queue_;
    std::size_t queuedBytes_ = 0; // of the texts handed over
    bool busy_ = false; // a page taken off the queue is being added
    bool ending_ = false;
    bool allAdded_ = false;
    std::optional<std::vector<std::uint8_t>> built_;
    std::exception_ptr failure_;
    std::thread thread_;
};

} // namespace quorlix::chm
