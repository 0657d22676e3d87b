#pragma once
// The project's build and benchmark tools answer --help, and refuse an option they do not know,
// before they write anything (they take their other arguments as folders to write into).

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace tooloptions {

// -1 when the tool goes on; otherwise its exit code: 0 after --help (USAGE on stdout), 2 for an
// argument starting with "-" that is neither --help nor one of KNOWN (a prefix ending in "="
// takes a value: "--repeat=").
inline int AnswerHelp(int argc, char** argv, const char* usage, std::initializer_list<const char*> known = {})
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (arg[0] != '-')
            continue;
        bool isKnown = false;
        for (const char* option : known) {
            const std::size_t length = std::strlen(option);
            isKnown = isKnown
                      || (option[length - 1] == '=' ? std::strncmp(arg, option, length) == 0
                                                     : std::strcmp(arg, option) == 0);
        }
        if (!isKnown) {
            std::fprintf(stderr, "Unbekannte Option \"%s\".\n\n%s", arg, usage);
            return 2;
        }
    }
    return -1;
}

} // namespace tooloptions
