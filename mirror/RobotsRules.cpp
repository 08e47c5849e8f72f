#include "mirror/RobotsRules.h"

#include "mirror/Url.h"

#include <cctype>

namespace quorlix::mirror {

namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

RobotsRules RobotsRules::parse(std::string_view text)
{
    std::vector<Rule> forAll, forWget;
    bool recordIsAll = false, recordIsWget = false, inRules = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string field = lower(trimmed(line.substr(0, colon)));
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (field == "user-agent") {
            // A User-agent line after rules starts a new record.
            if (inRules) {
                recordIsAll = recordIsWget = false;
                inRules = false;
            }
            const std::string agent = lower(value);
            if (agent == "*")
                recordIsAll = true;
            else if (agent == "wget")
                recordIsWget = true;
        } else if (field == "allow" || field == "disallow") {
            inRules = true;
            // An empty Disallow allows everything.
            Rule rule{percentDecode(value), field == "allow" || value.empty()};
            if (!rule.path.empty() && rule.path.front() != '/')
                rule.path.insert(rule.path.begin(), '/');
            if (recordIsWget)
                forWget.push_back(rule);
            if (recordIsAll)
                forAll.push_back(rule);
        }
    }
    RobotsRules rules;
    rules.mRules = !forWget.empty() ? std::move(forWget) : std::move(forAll);
    return rules;
}

bool RobotsRules::allows(std::string_view path) const
{
    const std::string decoded = "/" + percentDecode(path);
    for (const Rule &rule : mRules)
        if (decoded.compare(0, rule.path.size(), rule.path) == 0)
            return rule.allow;
    return true;
}

} // namespace quorlix::mirror
