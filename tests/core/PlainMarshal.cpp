#include "PlainMarshal.h"

#include <cstdlib>
#include <cstring>

namespace coretest {

MainThreadQueue& MainThreadQueue::instance() {
    static MainThreadQueue queue; // first used on the main thread (by main)
    return queue;
}

bool MainThreadQueue::enabled() {
    const char* value = std::getenv("MG_TEST_PLAIN_MARSHAL");
    return value != nullptr && std::strcmp(value, "1") == 0;
}

void MainThreadQueue::run(std::function<void()> call, bool wait) {
    if (std::this_thread::get_id() == main_) {
        call();
        return;
    }
    auto item = std::make_shared<Item>();
    item->call = std::move(call);
    std::unique_lock lock(mutex_);
    items_.push_back(item);
    queued_.notify_all();
    if (wait)
        done_.wait(lock, [&] { return item->done; });
}

void MainThreadQueue::drain() {
    for (;;) {
        std::shared_ptr<Item> item;
        {
            std::lock_guard lock(mutex_);
            if (items_.empty())
                return;
            item = items_.front();
            items_.pop_front();
        }
        item->call();
        {
            std::lock_guard lock(mutex_);
            item->done = true;
        }
        done_.notify_all();
    }
}

void MainThreadQueue::drainWaiting(std::chrono::milliseconds timeout) {
    {
        std::unique_lock lock(mutex_);
        queued_.wait_for(lock, timeout, [this] { return !items_.empty(); });
    }
    drain();
}

namespace {

template <typename Call> auto onMain(Call call) -> decltype(call()) {
    using Result = decltype(call());
    if constexpr (std::is_void_v<Result>) {
        MainThreadQueue::instance().run(call, true);
    } else {
        Result result{};
        MainThreadQueue::instance().run([&] { result = call(); }, true);
        return result;
    }
}

} // namespace

int PlainMarshalView::sendMessage(const JobMessage& m) {
    return onMain([&] { return target_.sendMessage(m); });
}
void PlainMarshalView::postMessage(uint32_t id) {
    MainThreadQueue::instance().run([this, id] { target_.postMessage(id); }, false);
}
void PlainMarshalView::addRow(const EntryRow& row) {
    onMain([&] { target_.addRow(row); });
}
void PlainMarshalView::addRows(std::vector<EntryRow> rows) {
    onMain([&] { target_.addRows(std::move(rows)); });
}
void PlainMarshalView::deleteAllItems() {
    onMain([&] { target_.deleteAllItems(); });
}
void PlainMarshalView::invalidate() {
    onMain([&] { target_.invalidate(); });
}
void PlainMarshalView::hideCancelButton() {
    onMain([&] { target_.hideCancelButton(); });
}
int PlainMarshalView::messageBox(const MessageBoxRequest& request) {
    return onMain([&] { return target_.messageBox(request); });
}
void PlainMarshalView::updateFromDocument() {
    onMain([&] { target_.updateFromDocument(); });
}

void PlainMarshalProgress::setPos(int32_t position) {
    onMain([&] { target_.setPos(position); });
}
void PlainMarshalProgress::setRange32(int32_t low, int32_t high) {
    onMain([&] { target_.setRange32(low, high); });
}
void PlainMarshalProgress::setStep(int32_t step) {
    onMain([&] { target_.setStep(step); });
}
void PlainMarshalProgress::stepIt() {
    onMain([&] { target_.stepIt(); });
}

} // namespace coretest
