// Stands in for the user interface when none is attached: messages go nowhere and questions
// get the cautious answer (Cancel, No).
#pragma once

#include "jobs/JobView.h"

class NullJobView : public IJobView, public IProgress {
public:
    int sendMessage(const JobMessage& message) override {
        return message.id == WM_ASK_OVERWRITE ? OverwriteCancel : 0;
    }
    void postMessage(uint32_t) override {}
    void addRow(const EntryRow&) override {}
    void deleteAllItems() override {}
    void invalidate() override {}
    void hideCancelButton() override {}
    int messageBox(const MessageBoxRequest& request) override {
        return request.buttons == MessageButtons::YesNo ? AnswerNo : AnswerOk;
    }
    void updateFromDocument() override {}

    void setPos(int32_t) override {}
    void setRange32(int32_t, int32_t) override {}
    void setStep(int32_t) override {}
    void stepIt() override {}
};
