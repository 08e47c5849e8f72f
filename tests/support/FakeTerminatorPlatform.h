#pragma once

#include "process/TerminatorPlatform.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace quorlix::test {

// A terminator platform that answers as told and remembers every request.
// With a real platform to pass on to, it also lets the requests happen, so a
// test's children are still ended.
class FakeTerminatorPlatform final : public process::TerminatorPlatform {
public:
    explicit FakeTerminatorPlatform(std::shared_ptr<TerminatorPlatform> passOn = nullptr)
        : mPassOn(std::move(passOn))
    {
    }

    Version queryVersion() override
    {
        ++versionQueries;
        return version;
    }
    bool hasTopLevelWindows(std::int32_t processId) override
    {
        windowQueries.push_back(processId);
        return mPassOn ? mPassOn->hasTopLevelWindows(processId) : hasWindows;
    }
    void postClose(std::int32_t processId, CloseMessage message) override
    {
        posted.emplace_back(processId, message);
        if (mPassOn)
            mPassOn->postClose(processId, message);
    }
    bool openProcess(std::int32_t processId) override
    {
        opened.push_back(processId);
        return opens;
    }
    bool terminateProcess(std::int32_t processId) override
    {
        terminated.push_back(processId);
        return terminates;
    }

    // Answers.
    Version version;
    bool hasWindows = true;
    bool opens = true;
    bool terminates = true;

    // Requests.
    int versionQueries = 0;
    std::vector<std::int32_t> windowQueries;
    std::vector<std::pair<std::int32_t, CloseMessage>> posted;
    std::vector<std::int32_t> opened;
    std::vector<std::int32_t> terminated;

private:
    std::shared_ptr<TerminatorPlatform> mPassOn;
};

} // namespace quorlix::test
