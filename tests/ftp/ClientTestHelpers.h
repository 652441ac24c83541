// Shared pieces of the client tests: a recording observer and a client aimed at a server.
#pragma once

#include "remote/net/FTPClient.h"

#include <memory>
#include <string>
#include <vector>

namespace ftptest {

struct RecordingObserver : nsFTP::ITransferNotification {
    std::vector<std::string> errors;
    std::vector<std::string> commands;
    std::vector<std::string> replies;
    void onInternalError(const std::string& message, const char*, int) override {
        errors.push_back(message);
    }
    void onSendCommand(const std::string& command) override { commands.push_back(command); }
    void onResponse(const nsFTP::ServerReply& reply) override { replies.push_back(reply.text); }
    bool sawError(const std::string& text) const {
        for (const std::string& e : errors)
            if (e == text)
                return true;
        return false;
    }
};

inline std::unique_ptr<nsFTP::CFTPClient> makeClient(int timeoutSeconds = 2) {
    return std::make_unique<nsFTP::CFTPClient>(std::make_unique<nsSocket::CBlockingSocket>(),
                                               timeoutSeconds, 2048, 0);
}

inline nsFTP::LogonParameters logonTo(uint16_t port, const std::string& user = "joe",
                                      const std::string& password = "secret") {
    nsFTP::LogonParameters parameters;
    parameters.host = "127.0.0.1";
    parameters.port = port;
    parameters.user = user;
    parameters.password = password;
    return parameters;
}

} // namespace ftptest
