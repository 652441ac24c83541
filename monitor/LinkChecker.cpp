#include "monitor/LinkChecker.h"

#include <algorithm>
#include <mutex>
#include <thread>

namespace monitor {

// What a probe thread shares with the checker: the checker may be gone when the thread ends.
struct LinkChecker::Shared {
    std::mutex mutex;
    LinkChecker* owner = nullptr;
};

LinkChecker::LinkChecker(SignatureProbe probe, QObject* parent)
    : QObject(parent), probe_(std::move(probe)), shared_(std::make_shared<Shared>()) {
    shared_->owner = this;
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] { finish(ticket_, false); });
}

LinkChecker::~LinkChecker() {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->owner = nullptr;
}

void LinkChecker::check(const QString& text) {
    const String asString(text.toStdString());
    switch (classifyLink(asString, allowPrivateHosts_)) {
    case LinkVerdict::ZipByName:
        emit checked(text, true);
        return;
    case LinkVerdict::NeedsProbe:
        break;
    default:
        emit checked(text, false);
        return;
    }
    // One copy can tell several times: a text already on its way is decided once.
    if ((busy_ && text == current_) ||
        std::find(waiting_.begin(), waiting_.end(), text) != waiting_.end())
        return;
    if (waiting_.size() >= kMaxWaiting)
        waiting_.pop_front(); // the oldest texts are the least likely to matter
    waiting_.push_back(text);
    if (!busy_)
        startNext();
}

void LinkChecker::startNext() {
    if (waiting_.empty()) {
        busy_ = false;
        return;
    }
    busy_ = true;
    current_ = waiting_.front();
    waiting_.pop_front();
    const quint64 ticket = ++ticket_;
    deadline_.start(static_cast<int>(bound_.count()));
    std::thread([shared = shared_, probe = probe_, address = String(current_.toStdString()),
                 bound = bound_, ticket] {
        bool isZip = false;
        try {
            isZip = probe && probe(address, bound);
        } catch (...) {
            isZip = false; // a probe that throws makes the whole test false
        }
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (LinkChecker* owner = shared->owner)
            QMetaObject::invokeMethod(
                owner, [owner, ticket, isZip] { owner->finish(ticket, isZip); },
                Qt::QueuedConnection);
    }).detach();
}

void LinkChecker::finish(quint64 ticket, bool isZip) {
    if (!busy_ || ticket != ticket_)
        return; // a late answer for a text already given up on
    deadline_.stop();
    const QString text = current_;
    ++ticket_;
    emit checked(text, isZip);
    startNext();
}

} // namespace monitor
