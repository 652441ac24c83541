// The table-driven logon: one row of steps per firewall arrangement.
#include "remote/net/FTPClient.h"

#include "remote/net/FTPReplyParsing.h"

namespace nsFTP {

namespace {

constexpr int On = -2;   // logged on
constexpr int Fail = -1; // logon failed
constexpr int FirewallKinds = 9;
constexpr int StepsPerKind = 6;

// Each row: six triples of (logon command, next step after 2xx, next step after 3xx); steps
// are offsets into the row (0, 3, 6, ...). Unused triples are zero.
constexpr int LogonTable[FirewallKinds][StepsPerKind * 3] = {
    {0, On, 3, 1, On, 6, 2, On, Fail},
    {3, 6, 3, 4, 6, Fail, 5, Fail, 9, 0, On, 12, 1, On, 15, 2, On, Fail},
    {3, 6, 3, 4, 6, Fail, 6, On, 9, 1, On, 12, 2, On, Fail},
    {7, 3, 3, 0, On, 6, 1, On, 9, 2, On, Fail},
    {3, 6, 3, 4, 6, Fail, 0, On, 9, 1, On, 12, 2, On, Fail},
    {6, On, 3, 1, On, 6, 2, On, Fail},
    {8, 6, 3, 4, 6, Fail, 0, On, 9, 1, On, 12, 2, On, Fail},
    {9, Fail, 3, 1, On, 6, 2, On, Fail},
    {10, On, 3, 11, On, 6, 2, On, Fail},
};

std::string hostSpecification(const LogonParameters& p) {
    return p.port == 21 ? p.host : p.host + ":" + std::to_string(p.port);
}

std::string logonCommandLine(int command, const LogonParameters& p) {
    const std::string host = hostSpecification(p);
    switch (command) {
    case 0:
        return "USER " + p.user;
    case 1:
        return "PASS " + p.password;
    case 2:
        return "ACCT " + p.account;
    case 3:
        return "USER " + p.firewallUser;
    case 4:
        return "PASS " + p.firewallPassword;
    case 5:
        return "SITE " + host;
    case 6:
        return "USER " + p.user + "@" + host;
    case 7:
        return "OPEN " + host;
    case 8:
        return "USER " + p.firewallUser + "@" + host;
    case 9:
        return "USER " + p.user + "@" + host + " " + p.firewallUser;
    case 10:
        return "USER " + p.user + "@" + p.firewallUser + "@" + host;
    default:
        return "PASS " + p.password + "@" + p.firewallPassword;
    }
}

} // namespace

bool CFTPClient::walkLogonTable(const LogonParameters& parameters) {
    const int* row = LogonTable[parameters.firewallKind];
    int step = 0;
    // Every path through a row is shorter than its number of steps; the bound only guards
    // against a table edited into a loop.
    for (int taken = 0; taken < StepsPerKind; ++taken) {
        ServerReply reply;
        if (!sendAndRead(logonCommandLine(row[step], parameters), reply))
            return false;
        char digit = reply.firstDigit();
        if (digit != '2' && digit != '3')
            return false;
        step = row[step + (digit == '2' ? 1 : 2)];
        if (step == On)
            return true;
        if (step == Fail)
            break;
    }
    reportError("Logon failed.", __FILE__, __LINE__);
    return false;
}

bool CFTPClient::logOn(const LogonParameters& parameters) {
    lastLogon_ = parameters;
    if (parameters.firewallKind < 0 || parameters.firewallKind >= FirewallKinds)
        return false;
    const bool direct = parameters.firewallKind == 0;
    const std::string& host = direct ? parameters.host : parameters.firewallHost;
    const uint16_t port = direct ? parameters.port : parameters.firewallPort;

    if (isConnected())
        quit();
    if (!openControlConnection(host, port))
        return false;
    ServerReply greeting;
    if (!readReply(greeting) || greeting.firstDigit() != '2')
        return false;
    if (!walkLogonTable(parameters))
        return false;
    return changeDirectory("/") == 0;
}

} // namespace nsFTP
