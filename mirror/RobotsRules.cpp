#include "mirror/RobotsRules.h"

#include "mirror/Url.h"

#include "html/AsciiText.h"

namespace quorlix::mirror {

namespace {

// Wget reads robots.txt with C's blanks: HTML's and the vertical tab.
bool isRobotsBlank(char c)
{
    return html::isAsciiSpace(c) || c == '\v';
}

std::string_view robotsTrimmed(std::string_view text)
{
    return html::trimmed(text, isRobotsBlank);
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
        const std::string field = html::lower(robotsTrimmed(line.substr(0, colon)));
        const std::string_view value = robotsTrimmed(line.substr(colon + 1));
        if (field == "user-agent") {
            // A User-agent line after rules starts a new record.
            if (inRules) {
                recordIsAll = recordIsWget = false;
                inRules = false;
            }
            const std::string agent = html::lower(value);
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
