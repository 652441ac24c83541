// The messages the worker jobs send to the list view, and what a job asks the user.
// The numbers are the ones the view has always dispatched on; keep them.
#pragma once

#include "app/String.h"

#include <cstdint>
#include <functional>
#include <string>

enum JobMessageId : uint32_t {
    WM_JOB_STARTED = 0x040A,
    WM_JOB_ENDED = 0x040B,
    WM_ASK_OVERWRITE = 0x040E,
    WM_LIST_TOTALS = 0x040F,
    WM_LIST_COMPLETE = 0x0410,
    WM_NETWORK_ACTIVITY = 0x0412,
    WM_OPEN_FAILED = 0x0413,
    WM_OPEN_SUCCEEDED = 0x0414,
    WM_REMOTE_ERROR = 0x0415,
    WM_ARCHIVE_DAMAGED = 0x0416,
};

// Progress-control messages, by the numbers of the standard control.
enum ProgressMessageId : uint32_t {
    PBM_SETPOS = 0x0402,
    PBM_SETSTEP = 0x0404,
    PBM_STEPIT = 0x0405,
    PBM_SETRANGE32 = 0x0406,
};

// Answers of the overwrite question (WM_ASK_OVERWRITE).
enum OverwriteAnswer : int {
    OverwriteYes = 1,
    OverwriteYesToAll = 2,
    OverwriteNo = 3,
    OverwriteCancel = 4,
};

// One message with its parameters. `wText` / `lText` are the texts that travel in wParam and
// lParam (WM_ASK_OVERWRITE, WM_LIST_TOTALS, WM_OPEN_SUCCEEDED, WM_REMOTE_ERROR); they are
// the receiver's copy.
struct JobMessage {
    uint32_t id = 0;
    String wText;
    String lText;
};

enum class MessageIcon { Information, Warning, Question };
enum class MessageButtons { Ok, YesNo };
enum class MessageOwner { View, MainWindow };
enum MessageBoxAnswer : int { AnswerOk = 1, AnswerYes = 6, AnswerNo = 7 };

// A message box that a job shows; the user interface shows it modally on its own thread.
struct MessageBoxRequest {
    String text;
    String caption;
    MessageIcon icon = MessageIcon::Information;
    MessageButtons buttons = MessageButtons::Ok;
    MessageBoxAnswer defaultAnswer = AnswerOk;
    MessageOwner owner = MessageOwner::View;
};

// A question for a secret that a job cannot go on without: the password of an encrypted entry,
// or the user name and password that a server (401) or a proxy (407) asks for.
struct CredentialRequest {
    enum class Kind { EntryPassword, ServerSignIn, ProxySignIn };
    Kind kind = Kind::EntryPassword;
    // The entry's name, or the server's host.
    std::string subject;
    // Sign-in: the user name to start from.
    std::string user;
    // The secret given last did not do (a wrong password, a refused sign-in).
    bool afterRefusal = false;
    // False once the job that asks has been told to stop: the question is then withdrawn.
    std::function<bool()> stillWanted;
};

struct CredentialAnswer {
    std::string user; // sign-in only
    std::string password;
};
