// The notifier's three timers, behind an interface so that tests drive the ticks themselves
// (an injectable clock) instead of waiting for them.
#pragma once

#include <QObject>
#include <QTimer>

#include <array>
#include <functional>

namespace monitor {

class NotifierTimers {
public:
    virtual ~NotifierTimers() = default;
    // (Re)starts timer `id` (1 to 3) with the period `ms`; a running one starts over.
    virtual void start(int id, unsigned ms) = 0;
    virtual void stop(int id) = 0;
};

// Real timers: each period elapses on the event loop and calls the tick handler with its id.
class QtNotifierTimers : public NotifierTimers {
public:
    explicit QtNotifierTimers(std::function<void(int)> onTick);
    void start(int id, unsigned ms) override;
    void stop(int id) override;

private:
    std::array<QTimer, 3> timers_;
};

} // namespace monitor
