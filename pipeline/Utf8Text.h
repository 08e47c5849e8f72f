#pragma once

#include <QString>

#include <string_view>

namespace quorlix::pipeline {

// A page's text (UTF-8, as the page reader gives it) as a QString.
inline QString FromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace quorlix::pipeline
