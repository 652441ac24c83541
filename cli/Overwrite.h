// Whether an existing file may be replaced: by the -o / -n options, or asked on the terminal
// (yes / yes to all / no / cancel). Without a terminal nothing is overwritten unasked.
#pragma once

#include "cli/CliOptions.h"

#include <cstdio>
#include <string>

enum class OverwriteAnswer { Yes, YesToAll, No, Cancel };

class OverwriteQuestion {
public:
    explicit OverwriteQuestion(OverwritePolicy policy, std::FILE* in = stdin,
                               std::FILE* out = stderr);
    // Yes when `path` does not exist or may be replaced.
    OverwriteAnswer ask(const std::string& path);
    // True when the last No came from having nobody to ask (no terminal).
    bool skippedWithoutAsking() const { return skippedWithoutAsking_; }

private:
    OverwriteAnswer prompt(const std::string& path);

    OverwritePolicy policy_;
    std::FILE* in_;
    std::FILE* out_;
    bool interactive_;
    bool skippedWithoutAsking_ = false;
};
