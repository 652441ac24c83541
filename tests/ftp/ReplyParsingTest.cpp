#include "remote/net/FTPClient.h"
#include "remote/net/FTPReplyParsing.h"

#include <gtest/gtest.h>

using namespace nsFTP;

TEST(ReplyParsing, CodeValidityLooksAtTheFirstTwoDigits) {
    EXPECT_TRUE(hasValidReplyCode("230 Done"));
    EXPECT_TRUE(hasValidReplyCode("559"));
    EXPECT_TRUE(hasValidReplyCode("20x odd")); // the third is not examined
    EXPECT_FALSE(hasValidReplyCode("2x0 odd"));
    EXPECT_FALSE(hasValidReplyCode("260 odd"));
    EXPECT_FALSE(hasValidReplyCode("620 odd"));
    EXPECT_FALSE(hasValidReplyCode("22"));
}

TEST(ReplyParsing, ClassificationByFirstDigit) {
    EXPECT_EQ(classifyReply({"226 ok", "226"}), 0);
    EXPECT_EQ(classifyReply({"550 no", "550"}), 1);
    EXPECT_EQ(classifyReply({"450 busy", "450"}), 1);
    EXPECT_EQ(classifyReply({"350 go on", "350"}), -1);
    EXPECT_EQ(classifyReply({"2x0", ""}), -1);
}

TEST(ReplyParsing, PassiveReplies) {
    uint32_t address = 0;
    uint16_t port = 0;
    ASSERT_TRUE(
        parsePassiveReply("227 Entering Passive Mode (192,168,1,2,19,136).", address, port));
    EXPECT_EQ(address, 0xC0A80102u);
    EXPECT_EQ(port, 5000);
    EXPECT_FALSE(parsePassiveReply("227 Entering Passive Mode (192,168,1,2,19)", address, port));
    EXPECT_FALSE(parsePassiveReply("227 Entering Passive Mode (192,168,1,2,19,136", address, port));
    EXPECT_FALSE(parsePassiveReply("227 Entering Passive Mode 192,168,1,2,19,136", address, port));
    EXPECT_FALSE(parsePassiveReply("227 (192,168,1,2,19, 136)", address, port));
    EXPECT_FALSE(parsePassiveReply("227 (192,168,1,2,19,,136)", address, port));
    EXPECT_FALSE(parsePassiveReply("227 (192,168,1,256,19,136)", address, port));
    EXPECT_FALSE(parsePassiveReply("227 (1,1,1,1,1,99999999999999999999)", address, port));
}

TEST(ReplyParsing, PortLineWritesSixNumbers) {
    EXPECT_EQ(portCommandLine("10.0.0.5", 5000), "PORT 10,0,0,5,19,136");
    EXPECT_EQ(portCommandLine("127.0.0.1", 255), "PORT 127,0,0,1,0,255");
}

TEST(ReplyParsing, SizeFromTheFifthCharacter) {
    EXPECT_EQ(parseSizeReply("213 123456"), 123456);
    EXPECT_EQ(parseSizeReply("550 SIZE not allowed in ASCII mode"), 0);
    EXPECT_EQ(parseSizeReply("213"), 0);
    EXPECT_EQ(parseSizeReply("213 "), 0);
    EXPECT_EQ(parseSizeReply("213 99999999999999999999999"), 0);
}

TEST(ReplyParsing, TypeAndDataCommandLines) {
    EXPECT_EQ(typeCommandLine({TransferType::Ascii, TransferType::NonPrint}, 0), "TYPE A N");
    EXPECT_EQ(typeCommandLine({TransferType::Ebcdic, TransferType::CarriageControl}, 0),
              "TYPE E C");
    EXPECT_EQ(typeCommandLine(TransferType::image(), 0), "TYPE I");
    EXPECT_EQ(typeCommandLine({TransferType::Local, 0}, 8), "TYPE L 8");
    EXPECT_EQ(typeCommandLine({7, 0}, 0), "");
    EXPECT_EQ(dataCommandLine(DataCommand::List, ""), "LIST");
    EXPECT_EQ(dataCommandLine(DataCommand::NameList, "d"), "NLST d");
    EXPECT_EQ(dataCommandLine(DataCommand::Retrieve, "a.zip"), "RETR a.zip");
    EXPECT_EQ(dataCommandLine(DataCommand::Append, "a"), "APPE a");
}
