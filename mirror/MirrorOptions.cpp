#include "mirror/MirrorOptions.h"

#include <cstdlib>
#include <string_view>

namespace quorlix::mirror {

namespace {

bool readNumber(const std::string &text, double &value)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end && *end == '\0' && value >= 0;
}

bool readCount(const std::string &text, int &value, bool infAllowed)
{
    if (infAllowed && (text == "inf" || text == "-1")) {
        value = 0;
        return true;
    }
    double number = 0;
    if (!readNumber(text, number) || number != static_cast<int>(number))
        return false;
    value = static_cast<int>(number);
    return true;
}

// Wget's wait values may end in s, m, h or d.
bool readSeconds(std::string text, double &value)
{
    double scale = 1;
    if (!text.empty()) {
        switch (text.back()) {
        case 's': text.pop_back(); break;
        case 'm': scale = 60; text.pop_back(); break;
        case 'h': scale = 3600; text.pop_back(); break;
        case 'd': scale = 86400; text.pop_back(); break;
        default: break;
        }
    }
    if (!readNumber(text, value))
        return false;
    value *= scale;
    return true;
}

} // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string> &arguments)
{
    ParsedCommandLine parsed;
    MirrorOptions &options = parsed.options;
    bool onlyAddresses = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (onlyAddresses || argument.empty() || argument[0] != '-' || argument == "-") {
            options.addresses.push_back(argument);
            continue;
        }
        if (argument == "--") {
            onlyAddresses = true;
            continue;
        }
        // "--name=value" or "--name value" for long options; "-xVALUE" or
        // "-x VALUE" for short ones that take a value.
        std::string name = argument;
        std::optional<std::string> inlineValue;
        if (argument.rfind("--", 0) == 0) {
            if (const std::size_t equals = argument.find('='); equals != std::string::npos) {
                name = argument.substr(0, equals);
                inlineValue = argument.substr(equals + 1);
            }
        } else if (argument.size() > 2 && argument != "-nv" && argument != "-np" && argument != "-nd"
                   && std::string_view("UPlwTte").find(argument[1]) != std::string_view::npos) {
            name = argument.substr(0, 2);
            inlineValue = argument.substr(2);
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < arguments.size())
                return arguments[++i];
            return std::nullopt;
        };
        auto bad = [&](const std::string &why) {
            if (parsed.error.empty())
                parsed.error = why;
        };
        auto flag = [&](bool &target) {
            if (inlineValue)
                parsed.unknown = parsed.unknown.value_or(argument);
            target = true;
        };

        if (name == "-r" || name == "--recursive") {
            flag(options.recursive);
        } else if (name == "-nv" || name == "--no-verbose") {
            options.verbose = false;
        } else if (name == "-q" || name == "--quiet") {
            flag(options.quiet);
        } else if (name == "-np" || name == "--no-parent") {
            flag(options.noParent);
        } else if (name == "--random-wait") {
            flag(options.randomWait);
        } else if (name == "-k" || name == "--convert-links") {
            flag(options.convertLinks);
        } else if (name == "-E" || name == "--adjust-extension" || name == "--html-extension") {
            flag(options.adjustExtension);
        } else if (name == "-p" || name == "--page-requisites") {
            flag(options.pageRequisites);
        } else if (name == "--no-check-certificate") {
            options.checkCertificate = false;
        } else if (name == "-U" || name == "--user-agent") {
            if (auto v = value())
                options.userAgent = *v;
            else
                bad("option " + argument + " needs a value");
        } else if (name == "-P" || name == "--directory-prefix") {
            if (auto v = value()) {
                // "out/" names the same folder as "out", and saved names say "out/host/...".
                options.prefix = v->empty() ? "." : *v;
                while (options.prefix.size() > 1 && options.prefix.back() == '/')
                    options.prefix.pop_back();
            }
            else
                bad("option " + argument + " needs a value");
        } else if (name == "--ca-certificate" || name == "--ca-directory") {
            if (auto v = value())
                (name == "--ca-certificate" ? options.caCertificate : options.caDirectory) = *v;
            else
                bad("option " + argument + " needs a value");
        } else if (name == "--restrict-file-names") {
            const auto v = value();
            if (v && *v == "windows")
                options.windowsNames = true;
            else
                parsed.unknown = parsed.unknown.value_or(argument);
        } else if (name == "-l" || name == "--level") {
            const auto v = value();
            if (!v || !readCount(*v, options.level, true))
                bad("invalid depth: " + v.value_or(""));
        } else if (name == "-T" || name == "--timeout") {
            const auto v = value();
            if (!v || !readSeconds(*v, options.timeoutSeconds))
                bad("invalid timeout: " + v.value_or(""));
        } else if (name == "-t" || name == "--tries") {
            const auto v = value();
            if (!v || !readCount(*v, options.tries, true))
                bad("invalid number of tries: " + v.value_or(""));
        } else if (name == "-w" || name == "--wait") {
            const auto v = value();
            if (!v || !readSeconds(*v, options.waitSeconds))
                bad("invalid wait: " + v.value_or(""));
        } else if (name == "-e" || name == "--execute") {
            const auto v = value();
            std::string command = v.value_or("");
            std::string compact;
            for (char c : command)
                if (c != ' ' && c != '_' && c != '-')
                    compact += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            if (compact == "robots=off" || compact == "robots=0" || compact == "robots=no")
                options.robots = false;
            else if (compact == "robots=on" || compact == "robots=1" || compact == "robots=yes")
                options.robots = true;
            else
                parsed.unknown = parsed.unknown.value_or(argument + " " + command);
        } else {
            parsed.unknown = parsed.unknown.value_or(argument);
        }
    }
    // Only a mirror (-r or -p) is quorlix-wget's job; a plain download of
    // one file is left to GNU Wget.
    if (!parsed.unknown && !options.recursive && !options.pageRequisites)
        parsed.unknown = "(no -r or -p)";
    if (!parsed.unknown && !options.windowsNames)
        parsed.unknown = "(no --restrict-file-names=windows)";
    return parsed;
}

} // namespace quorlix::mirror
