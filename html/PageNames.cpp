#include "html/PageReader.h"

#include <array>

namespace quorlix::html {

bool isPageName(std::string_view fileName)
{
    const std::size_t slash = fileName.find_last_of('/');
    if (slash != std::string_view::npos)
        fileName.remove_prefix(slash + 1);
    const std::size_t dot = fileName.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0)
        return false;
    std::string_view extension = fileName.substr(dot + 1);
    // A page saved with its query ("page.php?id=3", or "page.php@id=3" under
    // Windows file-name rules) is still a page.
    extension = extension.substr(0, extension.find_first_of("?@"));
    static constexpr std::array<std::string_view, 17> pages{
        "html", "htm", "xhtml", "xht", "shtml", "shtm", "phtml", "php", "php3", "php4",
        "php5", "asp", "aspx", "jsp", "jspx", "cfm", "cgi"};
    std::string lower;
    for (char c : extension)
        lower += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    for (std::string_view page : pages)
        if (lower == page)
            return true;
    return false;
}

} // namespace quorlix::html
