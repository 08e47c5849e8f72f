// quorlix-hhc PROJECT.HHP: compiles a help project into a compiled help
// file. Messages go to standard output, as the window shows them; the exit
// status is 0 only when the help file was written.
#include "chm/HelpCompiler.h"

#include <cstdio>
#include <iostream>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorlix-hhc PROJECT.HHP\n");
        return 2;
    }
    std::ios::sync_with_stdio(false);
    return quorlix::chm::compileHelpProject(argv[1], std::cout);
}
