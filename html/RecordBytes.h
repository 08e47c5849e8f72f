#pragma once

// Records as bytes, for what one process keeps on disk or hands to another:
// numbers of 8 bytes in the machine's order, texts after their length. A
// Reader checks as it goes: past the end, or a length or count larger than
// what is left, it is no longer ok() and gives nothing more.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace quorlix::html {

class Writer {
public:
    void number(std::uint64_t value)
    {
        char bytes[sizeof value];
        std::memcpy(bytes, &value, sizeof value);
        out.append(bytes, sizeof value);
    }
    void text(std::string_view value)
    {
        number(value.size());
        out.append(value);
    }
    std::string out;
};

class Reader {
public:
    explicit Reader(std::string_view in) : mIn(in) {}
    bool number(std::uint64_t &value)
    {
        if (mIn.size() < sizeof value)
            return mOk = false;
        std::memcpy(&value, mIn.data(), sizeof value);
        mIn.remove_prefix(sizeof value);
        return true;
    }
    std::uint64_t number()
    {
        std::uint64_t value = 0;
        number(value);
        return value;
    }
    std::string_view text()
    {
        const std::uint64_t size = number();
        if (!mOk || size > mIn.size()) {
            mOk = false;
            return {};
        }
        const std::string_view value = mIn.substr(0, size);
        mIn.remove_prefix(size);
        return value;
    }
    // A count of things each at least `least` bytes long: no more than the
    // rest can hold, so a bad count cannot ask for memory.
    std::uint64_t count(std::size_t least)
    {
        const std::uint64_t value = number();
        if (value > mIn.size() / least)
            mOk = false;
        return mOk ? value : 0;
    }
    bool magic(std::string_view expected)
    {
        if (mIn.substr(0, expected.size()) != expected)
            return mOk = false;
        mIn.remove_prefix(expected.size());
        return true;
    }
    bool ok() const { return mOk; }
    bool atEnd() const { return mOk && mIn.empty(); }

private:
    std::string_view mIn;
    bool mOk = true;
};

} // namespace quorlix::html
