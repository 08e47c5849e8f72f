#include "chm/language/AnsiText.h"

#include <iconv.h>

#include <cstdint>
#include <string>

namespace quorlix::chm {

struct AnsiText::Converter {
    iconv_t handle = reinterpret_cast<iconv_t>(-1);
};

AnsiText::AnsiText(unsigned codePage)
    : converter_(std::make_unique<Converter>())
{
    if (codePage == 0)
        return;
    const std::string name = "CP" + std::to_string(codePage);
    converter_->handle = iconv_open(name.c_str(), "UTF-8");
}

AnsiText::~AnsiText()
{
    if (converter_->handle != reinterpret_cast<iconv_t>(-1))
        iconv_close(converter_->handle);
}

namespace {

// Length of the valid UTF-8 sequence at the start of text, or 0.
std::size_t utf8SequenceLength(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length;
    std::uint32_t lowest;
    if (lead >= 0xc2 && lead <= 0xdf) { length = 2; lowest = 0x80; }
    else if (lead >= 0xe0 && lead <= 0xef) { length = 3; lowest = 0x800; }
    else if (lead >= 0xf0 && lead <= 0xf4) { length = 4; lowest = 0x10000; }
    else return 0;
    if (text.size() < length)
        return 0;
    std::uint32_t code = lead & (0x7f >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xc0) != 0x80)
            return 0;
        code = (code << 6) | (next & 0x3f);
    }
    if (code < lowest || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
        return 0;
    return length;
}

} // namespace

std::string AnsiText::fromUtf8(std::string_view utf8) const
{
    const bool converts = converter_->handle != reinterpret_cast<iconv_t>(-1);
    std::string out;
    out.reserve(utf8.size());
    while (!utf8.empty()) {
        const auto byte = static_cast<unsigned char>(utf8[0]);
        const std::size_t length = byte < 0x80 ? 1 : utf8SequenceLength(utf8);
        if (length <= 1 || !converts) {
            // ASCII, a byte that is not UTF-8, or no conversion: as it is.
            const std::size_t take = length == 0 ? 1 : length;
            out.append(utf8.substr(0, take));
            utf8.remove_prefix(take);
            continue;
        }
        // One character at a time, so that a missing one costs only itself.
        char input[4];
        char output[8];
        utf8.copy(input, length);
        char *in = input;
        char *outAt = output;
        std::size_t inLeft = length;
        std::size_t outLeft = sizeof output;
        iconv(converter_->handle, nullptr, nullptr, nullptr, nullptr);
        if (iconv(converter_->handle, &in, &inLeft, &outAt, &outLeft) == static_cast<std::size_t>(-1))
            out.push_back('?');
        else
            out.append(output, static_cast<std::size_t>(outAt - output));
        utf8.remove_prefix(length);
    }
    return out;
}

} // namespace quorlix::chm
