#include "monitor/NotifierTimers.h"

namespace monitor {

QtNotifierTimers::QtNotifierTimers(std::function<void(int)> onTick) {
    for (int i = 0; i < 3; ++i) {
        timers_[i].setTimerType(Qt::PreciseTimer);
        QObject::connect(&timers_[i], &QTimer::timeout, [onTick, i] { onTick(i + 1); });
    }
}

void QtNotifierTimers::start(int id, unsigned ms) {
    if (id >= 1 && id <= 3)
        timers_[id - 1].start(static_cast<int>(ms));
}

void QtNotifierTimers::stop(int id) {
    if (id >= 1 && id <= 3)
        timers_[id - 1].stop();
}

} // namespace monitor
