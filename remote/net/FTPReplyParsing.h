// Pure text rules of the FTP client: reply codes, PASV and SIZE replies, PORT lines.
#pragma once

#include "remote/net/FTPTypes.h"

#include <cstdint>
#include <string>

namespace nsFTP {

// A reply code is valid when the text has three characters, the first "1" to "5" and the
// second "0" to "5" (the third is not examined).
bool hasValidReplyCode(const std::string& text);

// 0 for a positive completion ("2"), 1 for a negative one ("4", "5"), -1 otherwise.
int classifyReply(const ServerReply& reply);

// True when `line` opens a multi-line reply ("230-...").
bool opensMultiLineReply(const std::string& line);
// True when `line` closes the multi-line reply opened with `code` ("230 ...").
bool closesMultiLineReply(const std::string& line, const std::string& code);

// The numbers in "(h1,h2,h3,h4,p1,p2)" of a 227 reply: address in host byte order and port.
// False when anything inside the parentheses is not as expected or a number exceeds 255.
bool parsePassiveReply(const std::string& text, uint32_t& address, uint16_t& port);

// "PORT h1,h2,h3,h4,p1,p2" for a dotted-decimal address and a port.
std::string portCommandLine(const std::string& addressText, uint16_t port);

// The decimal number from the fifth character of a SIZE reply on; 0 when there is none.
int64_t parseSizeReply(const std::string& text);

// The TYPE line for a representation, or empty for an unknown type code.
std::string typeCommandLine(const TransferType& type, int byteSize);

} // namespace nsFTP
