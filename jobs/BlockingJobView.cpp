#include "jobs/BlockingJobView.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <atomic>
#include <future>
#include <iterator>
#include <type_traits>

void RepeatBatcher::repeat(QObject* context, uint32_t key, std::function<void(int times)> call) {
    std::lock_guard lock(mutex_);
    if (open_ && open_->key == key) {
        ++open_->count;
        return;
    }
    open_ = std::make_shared<Batch>(Batch{key, 1});
    QMetaObject::invokeMethod(
        context,
        [this, batch = open_, call = std::move(call)] {
            int count = 0;
            {
                std::lock_guard lock(mutex_);
                count = batch->count;
                if (open_ == batch)
                    open_.reset();
            }
            call(count);
        },
        Qt::QueuedConnection);
}

void RepeatBatcher::close() {
    std::lock_guard lock(mutex_);
    open_.reset();
}

std::shared_ptr<void> BatchLane::take() {
    std::unique_lock lock(state_->mutex);
    state_->freed.wait(lock, [this] { return !state_->taken; });
    state_->taken = true;
    // A null pointer with a deleter: the deleter runs when the last copy goes.
    return std::shared_ptr<void>(nullptr, [state = state_](void*) {
        std::lock_guard freeing(state->mutex);
        state->taken = false;
        state->freed.notify_all();
    });
}

BlockingJobView::BlockingJobView(IJobView& target, QObject* context)
    : target_(target), context_(context) {}

std::vector<EntryRow> BlockingJobView::takeRows() {
    std::lock_guard lock(rowsMutex_);
    std::vector<EntryRow> rows;
    rows.swap(rows_);
    return rows;
}

template <typename Call> auto BlockingJobView::onUiThread(Call call) -> decltype(call()) {
    using Result = decltype(call());
    posted_.close();
    auto withRows = [this, &call, rows = takeRows()]() -> Result {
        for (const EntryRow& row : rows)
            target_.addRow(row);
        return call();
    };
    QObject* context = context_;
    if (context == nullptr || QThread::currentThread() == context->thread())
        return withRows();
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(context, withRows, Qt::BlockingQueuedConnection);
    } else {
        Result result{};
        QMetaObject::invokeMethod(context, withRows, Qt::BlockingQueuedConnection, &result);
        return result;
    }
}

int BlockingJobView::sendMessage(const JobMessage& message) {
    return onUiThread([&] { return target_.sendMessage(message); });
}

void BlockingJobView::postMessage(uint32_t id) {
    if (context_ != nullptr)
        posted_.repeat(context_, id, [this, id](int times) { target_.postRepeated(id, times); });
}

void BlockingJobView::addRow(const EntryRow& row) {
    {
        std::lock_guard lock(rowsMutex_);
        if (rows_.empty())
            firstPending_ = std::chrono::steady_clock::now();
        rows_.push_back(row);
        if (rows_.size() < rowBatch && std::chrono::steady_clock::now() - firstPending_ < rowDelay)
            return;
    }
    onUiThread([] {});
}

void BlockingJobView::addRows(std::vector<EntryRow> rows) {
    std::vector<EntryRow> batch = takeRows(); // single rows still waiting go first
    batch.insert(batch.end(), std::make_move_iterator(rows.begin()),
                 std::make_move_iterator(rows.end()));
    QObject* context = context_;
    if (context == nullptr || QThread::currentThread() == context->thread()) {
        target_.addRows(std::move(batch));
        return;
    }
    posted_.close();
    // Queued behind what was sent before and ahead of every later call, which queue too.
    QMetaObject::invokeMethod(
        context,
        [this, ticket = batches_.take(), batch = std::move(batch)]() mutable {
            target_.addRows(std::move(batch));
        },
        Qt::QueuedConnection);
}

void BlockingJobView::deleteAllItems() {
    onUiThread([&] { target_.deleteAllItems(); });
}

void BlockingJobView::invalidate() {
    onUiThread([&] { target_.invalidate(); });
}

void BlockingJobView::hideCancelButton() {
    onUiThread([&] { target_.hideCancelButton(); });
}

int BlockingJobView::messageBox(const MessageBoxRequest& request) {
    return onUiThread([&] { return target_.messageBox(request); });
}

void BlockingJobView::updateFromDocument() {
    onUiThread([&] { target_.updateFromDocument(); });
}

std::optional<CredentialAnswer> BlockingJobView::askCredentials(const CredentialRequest& request) {
    auto wanted = [&request] { return !request.stillWanted || request.stillWanted(); };
    QObject* context = context_;
    if (context == nullptr || QThread::currentThread() == context->thread())
        return wanted() ? target_.askCredentials(request) : std::nullopt;
    onUiThread([] {}); // the rows listed so far show behind the question
    // Once the job stops waiting, the question on screen is withdrawn too.
    auto abandoned = std::make_shared<std::atomic<bool>>(false);
    CredentialRequest shown = request;
    shown.stillWanted = [abandoned, wanted = request.stillWanted] {
        return !*abandoned && (!wanted || wanted());
    };
    auto answer = std::make_shared<std::promise<std::optional<CredentialAnswer>>>();
    std::future<std::optional<CredentialAnswer>> future = answer->get_future();
    QMetaObject::invokeMethod(
        context,
        [this, shown = std::move(shown), answer] {
            answer->set_value(shown.stillWanted() ? target_.askCredentials(shown) : std::nullopt);
        },
        Qt::QueuedConnection);
    // The user-interface thread may be inside a nested loop that waits for this job to end
    // (the window closing): the job must not wait for the question's answer then.
    while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        if (!wanted()) {
            *abandoned = true;
            return std::nullopt;
        }
    }
    try {
        return future.get();
    } catch (const std::future_error&) {
        return std::nullopt; // the view went before it could ask
    }
}

QueuedProgress::QueuedProgress(IProgress& target, QObject* context)
    : target_(target), context_(context) {}

template <typename Call> void QueuedProgress::onUiThread(Call call) {
    QObject* context = context_;
    if (context == nullptr)
        return;
    if (QThread::currentThread() == context->thread())
        call();
    else
        QMetaObject::invokeMethod(context, call, Qt::QueuedConnection);
}

void QueuedProgress::setPos(int32_t position) {
    steps_.close();
    onUiThread([this, position] { target_.setPos(position); });
}

void QueuedProgress::setRange32(int32_t low, int32_t high) {
    steps_.close();
    onUiThread([this, low, high] { target_.setRange32(low, high); });
}

void QueuedProgress::setStep(int32_t step) {
    steps_.close();
    onUiThread([this, step] { target_.setStep(step); });
}

void QueuedProgress::stepIt() {
    if (context_ == nullptr)
        return;
    if (QThread::currentThread() == context_->thread())
        target_.stepIt();
    else
        steps_.repeat(context_, PBM_STEPIT, [this](int times) { target_.stepBy(times); });
}
