// Runs the link test off the user-interface thread with a bounded total time, so that a
// silent server cannot freeze the monitor. Texts are decided one at a time, in the order
// they were copied.
#pragma once

#include "monitor/ZipLink.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <deque>
#include <memory>

namespace monitor {

class LinkChecker : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kDefaultBound{4000};
    static constexpr std::size_t kMaxWaiting = 16;

    explicit LinkChecker(SignatureProbe probe, QObject* parent = nullptr);
    ~LinkChecker() override;

    void setBound(std::chrono::milliseconds bound) { bound_ = bound; }
    void setAllowPrivateHosts(bool allow) { allowPrivateHosts_ = allow; }
    bool allowPrivateHosts() const { return allowPrivateHosts_; }

    // Decides whether `text` is a zip link; `checked` follows, at the latest after the bound.
    void check(const QString& text);
    bool isBusy() const { return busy_; }

signals:
    void checked(const QString& text, bool isZipLink);

private:
    struct Shared;
    void startNext();
    void finish(quint64 ticket, bool isZip);

    SignatureProbe probe_;
    std::chrono::milliseconds bound_ = kDefaultBound;
    bool allowPrivateHosts_ = false;
    std::deque<QString> waiting_;
    std::shared_ptr<Shared> shared_;
    QTimer deadline_;
    QString current_;
    quint64 ticket_ = 0;
    bool busy_ = false;
};

} // namespace monitor
