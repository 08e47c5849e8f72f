#pragma once

// quorlix-wget's command line: the GNU Wget options a mirror for a help
// file is made with, with GNU Wget's meaning and defaults.

#include <optional>
#include <string>
#include <vector>

namespace quorlix::mirror {

struct MirrorOptions {
    std::vector<std::string> addresses;
    std::string userAgent = "Wget/1.21.3 (quorlix-wget)";
    std::string prefix = ".";
    bool recursive = false;
    bool quiet = false;
    bool verbose = true; // -nv turns it off; quorlix-wget logs -nv lines either way
    bool noParent = false;
    bool randomWait = false;
    bool windowsNames = false;
    bool convertLinks = false;
    bool adjustExtension = false;
    bool pageRequisites = false;
    bool robots = true;
    bool checkCertificate = true;
    std::string caCertificate; // --ca-certificate
    std::string caDirectory;   // --ca-directory
    int level = 5;             // 0: no limit
    double timeoutSeconds = 900;
    int tries = 20;            // 0: no limit
    double waitSeconds = 0;
    int parallel = 8;
    // Not options of the command line: set by quorlix-wget from its
    // environment. Pages converted as soon as their links are settled
    // (else all at the end); the list of files whose bytes are final.
    bool convertEarly = true;
    std::string finalFilesList;
    // Where each converted page's reading is handed to the window
    // (QUORLIX_PAGE_READINGS), made from the parse that found its links.
    std::string pageReadings;
};

struct ParsedCommandLine {
    MirrorOptions options;
    // The first argument quorlix-wget does not take, when there is one.
    std::optional<std::string> unknown;
    std::string error; // a value it takes but cannot read
};

ParsedCommandLine parseCommandLine(const std::vector<std::string> &arguments);

} // namespace quorlix::mirror
