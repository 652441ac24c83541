#include "monitor/TrayIcon.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace monitor {

namespace {
// Qt tells nothing when a notification area appears, so its presence is polled.
constexpr int kTrayWatchMs = 2000;
} // namespace

QtTrayIcon::QtTrayIcon(QObject* parent)
    : TrayIcon(parent), icon_(new QSystemTrayIcon(this)),
      trayWasAvailable_(QSystemTrayIcon::isSystemTrayAvailable()) {
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                switch (reason) {
                case QSystemTrayIcon::Trigger:
                    emit mouseMessage(WM_LBUTTONDOWN);
                    break;
                case QSystemTrayIcon::Context:
                    emit mouseMessage(WM_RBUTTONUP);
                    break;
                case QSystemTrayIcon::DoubleClick:
                    emit mouseMessage(WM_LBUTTONDBLCLK);
                    break;
                default:
                    break;
                }
            });
    connect(&watch_, &QTimer::timeout, this, &QtTrayIcon::watchTray);
    watch_.start(kTrayWatchMs);
}

QtTrayIcon::~QtTrayIcon() = default;

void QtTrayIcon::watchTray() {
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (available && !trayWasAvailable_)
        emit trayCreated();
    trayWasAvailable_ = available;
}

bool QtTrayIcon::add(const QIcon& icon, const QString& toolTip) {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    icon_->setIcon(icon);
    icon_->setToolTip(toolTip);
    icon_->show();
    return icon_->isVisible();
}

bool QtTrayIcon::remove() {
    icon_->hide();
    return true;
}

void QtTrayIcon::setMenu(QMenu* menu) {
    icon_->setContextMenu(menu);
}

// The context menu set above is shown by Qt (or by the desktop's tray host) on a right click.
void QtTrayIcon::popUpMenu(QMenu*, const QPoint&) {}

} // namespace monitor
