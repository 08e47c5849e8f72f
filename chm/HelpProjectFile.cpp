#include "chm/HelpProjectFile.h"

#include "chm/container/DirectoryName.h"
#include "html/AsciiText.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quorlix::chm {

namespace {

bool isYes(const std::string &value)
{
    const std::string folded = foldedName(value);
    return folded == "yes" || folded == "true" || folded == "1";
}

} // namespace

HelpProject readHelpProject(const std::filesystem::path &file)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        throw std::runtime_error("project file not found: " + file.string());
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read the project file " + file.string() + ": " + std::strerror(errno));

    HelpProject project;
    project.folder = std::filesystem::absolute(file, error).parent_path();
    enum class Section { None, Options, Files, InfoTypes, Other } section = Section::None;
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        if (first && line.rfind("\xEF\xBB\xBF", 0) == 0) // a UTF-8 byte order mark
            line.erase(0, 3);
        first = false;
        const std::string text(html::trimmed(line));
        if (text.empty() || text[0] == ';')
            continue;
        if (text.front() == '[' && text.back() == ']') {
            const std::string name = foldedName(text);
            section = name == "[options]"     ? Section::Options
                      : name == "[files]"     ? Section::Files
                      : name == "[infotypes]" ? Section::InfoTypes
                                              : Section::Other;
            continue;
        }
        switch (section) {
        case Section::Options: {
            const std::size_t equals = text.find('=');
            if (equals == std::string::npos)
                break;
            const std::string key = foldedName(std::string(html::trimmed(std::string_view(text).substr(0, equals))));
            const std::string value(html::trimmed(std::string_view(text).substr(equals + 1)));
            if (key == "compiled file")
                project.compiledFile = value;
            else if (key == "default topic")
                project.defaultTopic = value;
            else if (key == "title")
                project.title = value;
            else if (key == "language")
                project.language = value;
            else if (key == "contents file")
                project.contentsFile = value;
            else if (key == "index file")
                project.indexFile = value;
            else if (key == "default font")
                project.defaultFont = value;
            else if (key == "full-text search")
                project.fullTextSearch = isYes(value);
            break;
        }
        case Section::Files:
            project.files.push_back(text);
            break;
        case Section::InfoTypes:
            project.infoTypes.push_back(text);
            break;
        case Section::None:
        case Section::Other:
            break;
        }
    }
    if (in.bad())
        throw std::runtime_error("cannot read the project file " + file.string() + ": " + std::strerror(errno));
    return project;
}

} // namespace quorlix::chm
