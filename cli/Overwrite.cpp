#include "cli/Overwrite.h"

#include "app/StringDisplay.h"

#include <cctype>
#include <sys/stat.h>
#include <unistd.h>

OverwriteQuestion::OverwriteQuestion(OverwritePolicy policy, std::FILE* in, std::FILE* out)
    : policy_(policy), in_(in), out_(out), interactive_(isatty(fileno(in)) == 1) {}

OverwriteAnswer OverwriteQuestion::ask(const std::string& path) {
    skippedWithoutAsking_ = false;
    struct stat st {};
    if (policy_ == OverwritePolicy::Always || lstat(path.c_str(), &st) != 0)
        return OverwriteAnswer::Yes;
    if (policy_ == OverwritePolicy::Never)
        return OverwriteAnswer::No;
    if (!interactive_) {
        skippedWithoutAsking_ = true;
        return OverwriteAnswer::No;
    }
    const OverwriteAnswer answer = prompt(path);
    if (answer == OverwriteAnswer::YesToAll)
        policy_ = OverwritePolicy::Always;
    return answer;
}

OverwriteAnswer OverwriteQuestion::prompt(const std::string& path) {
    for (;;) {
        // The name comes from the archive: escaped like every name shown.
        std::fprintf(out_,
                     "Replace %s? [y]es, [A]ll, [n]o, [c]ancel: ", escapeForTerminal(path).c_str());
        std::fflush(out_);
        char line[64];
        if (!std::fgets(line, sizeof line, in_))
            return OverwriteAnswer::Cancel;
        switch (line[0]) {
        case 'y':
        case 'Y':
            return OverwriteAnswer::Yes;
        case 'A':
        case 'a':
            return OverwriteAnswer::YesToAll;
        case 'n':
        case 'N':
            return OverwriteAnswer::No;
        case 'c':
        case 'C':
            return OverwriteAnswer::Cancel;
        default:
            break;
        }
    }
}
