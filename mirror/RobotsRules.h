#pragma once

// A site's robots.txt as GNU Wget reads it: the record for "wget" when
// there is one, else the one for "*"; the first Allow or Disallow line whose
// path begins the address's path decides.

#include <string>
#include <string_view>
#include <vector>

namespace quorlix::mirror {

class RobotsRules {
public:
    static RobotsRules parse(std::string_view text);
    // path: the address's path without its leading '/', percent-encoded.
    bool allows(std::string_view path) const;

private:
    struct Rule {
        std::string path; // decoded, with its leading '/'
        bool allow;
    };
    std::vector<Rule> mRules;
};

} // namespace quorlix::mirror
