// Names from archives on the terminal: nothing that steers it gets through, and columns are
// counted as the terminal draws them.
#include "app/StringDisplay.h"

#include <gtest/gtest.h>

namespace {

TEST(StringDisplay, EscapesEverythingThatSteersOrHidesAndNothingElse) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain/naïve café.txt", "plain/naïve café.txt"},
        {"\x1b[2Jclear", "\\x1B[2Jclear"},
        {"c1 \xc2\x9b"
         "31m",
         "c1 \\xC2\\x9B31m"},                       // U+009B, the 8-bit CSI
        {"bad \xff\xc3", "bad \\xFF\\xC3"},         // invalid and cut-off UTF-8
        {"over\xc0\xaflong", "over\\xC0\\xAFlong"}, // overlong "/"
        {"gpj.\xe2\x80\xae"
         "exe",
         "gpj.\\xE2\\x80\\xAEexe"}, // right-to-left override
        {std::string("nul\0x", 5), "nul\\x00x"},
    };
    for (const auto& [raw, shown] : cases)
        EXPECT_EQ(escapeForTerminal(raw), shown);
    // For scripts a literal backslash is escaped too, so "\x1B" and ESC stay apart.
    EXPECT_EQ(escapeUnambiguously("a\\x1B\x1b"), "a\\\\x1B\\x1B");
    EXPECT_EQ(escapeForTerminal("a\\b"), "a\\b");
}

TEST(StringDisplay, WidthCountsWideAndCombiningCharacters) {
    EXPECT_EQ(displayWidth("abc"), 3u);
    EXPECT_EQ(displayWidth("数据表.txt"), 10u);
    EXPECT_EQ(displayWidth("ｆｕｌｌ"), 8u);
    EXPECT_EQ(displayWidth("e\xcc\x81"), 1u); // e + combining acute
    EXPECT_EQ(displayWidth("한국어"), 6u);
    EXPECT_EQ(withThousandsSeparators(1234567), "1,234,567");
    EXPECT_EQ(withThousandsSeparators(5000000000ULL), "5,000,000,000");
}

} // namespace
