#include "monitor/ClipboardMonitor.h"

#include "monitor/Launcher.h"
#include "monitor/MonitorIds.h"
#include "monitor/MonitorSettings.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>

// The pictures live in a static library, whose resource initialiser no one would pull in.
static void initMonitorResources() {
    Q_INIT_RESOURCE(monitor);
}

namespace monitor {

namespace {

SignatureProbe realProbe(bool allowPrivateHosts) {
    return [allowPrivateHosts](const String& address, std::chrono::milliseconds budget) {
        return probeZipSignature(address, budget, allowPrivateHosts);
    };
}

// Stands in when the bundled skin cannot be read, so that the pop-up still has a size.
QPixmap paintedSkin() {
    QPixmap skin(224, 112);
    skin.fill(QColor(236, 242, 252));
    QPainter painter(&skin);
    painter.fillRect(0, 0, 224, 20, QColor(52, 88, 168));
    painter.setPen(QColor(46, 74, 140));
    painter.drawRect(0, 0, 223, 111);
    return skin;
}

} // namespace

bool isMarkedSecret(const QMimeData* data) {
    return data && data->data(QLatin1String(kPasswordManagerHintFormat)).trimmed() == "secret";
}

ClipboardMonitor::ClipboardMonitor(MonitorSettings& settings, Launcher& launcher,
                                   MonitorOptions options, QObject* parent)
    : QObject(parent), settings_(settings), launcher_(launcher), options_(std::move(options)),
      notifier_(std::make_unique<CTaskbarNotifier>()),
      checker_(options_.probe ? options_.probe : realProbe(options_.allowPrivateHosts)) {
    initMonitorResources();
    checker_.setBound(options_.probeBound);
    checker_.setAllowPrivateHosts(options_.allowPrivateHosts);
    connect(&checker_, &LinkChecker::checked, this, &ClipboardMonitor::onChecked);
    // The click is posted, as the pop-up goes on with its own cycle.
    connect(notifier_.get(), &CTaskbarNotifier::clicked, this, &ClipboardMonitor::launchViewer,
            Qt::QueuedConnection);
    connect(&tray_, &CSystemTray::trayMessage, this, &ClipboardMonitor::onTrayMessage);
    connect(&tray_, &CSystemTray::command, this, &ClipboardMonitor::onCommand);
    connect(&tray_, &CSystemTray::menuAboutToShow, this,
            [this] { refreshModeChecks(settings_.reloadMode()); });
}

ClipboardMonitor::~ClipboardMonitor() = default;

void ClipboardMonitor::dressNotifier() {
    if (!notifier_->loadSkin(options_.skinPath))
        notifier_->setSkin(paintedSkin());
    notifier_->chooseFonts(QStringLiteral("Microsoft Sans Serif"), 80, 0,
                           CTaskbarNotifier::Underline);
    notifier_->chooseColours(QColor(0, 64, 255), QColor(0, 0, 255));
    const QSize size = notifier_->skinSize();
    // From (10, 25) to 10 pixels before the right edge and 30 above the bottom.
    notifier_->placeText(QRect(10, 25, size.width() - 20, size.height() - 55));
}

void ClipboardMonitor::startMonitor(std::unique_ptr<TrayIcon> trayIcon) {
    dressNotifier();
    if (trayIcon)
        tray_.setTrayIcon(std::move(trayIcon));
    tray_.install(QLatin1String(kTrayToolTip), QIcon(QStringLiteral(":/monitor/tray.png")),
                  kTrayIconId, false);
    tray_.markDefaultItem(ID_TRAY_SHOW_LAST_URL, false);
    refreshModeChecks(settings_.mode());
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        connect(clipboard, &QClipboard::dataChanged, this, &ClipboardMonitor::onClipboardChanged);
    running_ = true;
    trayWatch_.setSingleShot(true);
    connect(&trayWatch_, &QTimer::timeout, this, &ClipboardMonitor::tellIfNoTray);
    trayWatch_.start(options_.noTrayNoticeAfter);
}

// A desktop without a notification area (a plain GNOME session, say) would leave the monitor
// running with nothing on the screen to show it or to end it. The click on the notice starts
// a viewer, whose Settings dialog can turn the monitor off.
void ClipboardMonitor::tellIfNoTray() {
    if (!running_ || !tray_.isShowPending())
        return;
    notifier_->popUp(QLatin1String(kNoTrayNotice), options_.timeToShow, options_.noTrayNoticeStay,
                     options_.timeToHide);
}

void ClipboardMonitor::stop() {
    if (!running_)
        return;
    running_ = false;
    trayWatch_.stop();
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        disconnect(clipboard, nullptr, this, nullptr);
    notifier_->withdraw();
    tray_.uninstall();
    emit stopped();
}

void ClipboardMonitor::onClipboardChanged() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard || settings_.mode() == kModeDontMonitor)
        return;
    const QMimeData* data = clipboard->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText())
        return;
    onClipboardText(data->text(), isMarkedSecret(data));
}

void ClipboardMonitor::onClipboardText(const QString& text, bool secret) {
    if (secret || settings_.mode() == kModeDontMonitor)
        return;
    // Only the link last acted on is old news: a text that was not taken for a zip link (its
    // server did not answer, say) is looked at again when it is copied again. While earlier
    // texts are still being checked, the last link acted on may yet change: onChecked decides.
    if (text == lastUrl_ && !checker_.isBusy())
        return;
    announceLink(text, true);
}

void ClipboardMonitor::announceLink(const QString& text, bool test) {
    if (settings_.mode() == kModeDontMonitor)
        return;
    if (test)
        checker_.check(text); // acts in onChecked
    else
        act(text);
}

void ClipboardMonitor::onChecked(const QString& text, bool isZipLink) {
    if (isZipLink && running_ && text != lastUrl_)
        act(text);
}

void ClipboardMonitor::act(const QString& text) {
    const int mode = settings_.mode();
    if (mode == kModeOpen) {
        lastUrl_ = text;
        // Posted with its own link: two links copied in quick succession open two viewers,
        // not the later one twice.
        QMetaObject::invokeMethod(
            this, [this, text] { launcher_.launchSelf(text); }, Qt::QueuedConnection);
    } else if (mode == kModeAsk) {
        lastUrl_ = text;
        notifier_->popUp(text, options_.timeToShow, options_.timeToStay, options_.timeToHide);
    } else {
        return;
    }
    emit announced(text);
}

void ClipboardMonitor::launchViewer() {
    launcher_.launchSelf(lastUrl_);
}

void ClipboardMonitor::refreshModeChecks(int mode) {
    for (int each : {kModeDontMonitor, kModeOpen, kModeAsk})
        tray_.setItemCheck(modeCommand(each), each == mode);
}

void ClipboardMonitor::onTrayMessage(int iconId, int mouseMessage) {
    if (mouseMessage == WM_LBUTTONDOWN) {
        if (!lastUrl_.isEmpty())
            announceLink(lastUrl_, false);
        return;
    }
    if (mouseMessage == WM_RBUTTONUP)
        refreshModeChecks(settings_.reloadMode());
    tray_.handleIconMessage(iconId, mouseMessage);
}

void ClipboardMonitor::onCommand(int commandId) {
    switch (commandId) {
    case ID_TRAY_SHOW_LAST_URL:
        onTrayMessage(tray_.iconId(), WM_LBUTTONDOWN);
        break;
    case ID_TRAY_LAUNCH:
        launcher_.launchSelf(QString());
        break;
    case ID_TRAY_DONT_MONITOR:
    case ID_TRAY_MONITOR_OPEN:
    case ID_TRAY_MONITOR_ASK: {
        const int mode = commandId == ID_TRAY_DONT_MONITOR   ? kModeDontMonitor
                         : commandId == ID_TRAY_MONITOR_OPEN ? kModeOpen
                                                             : kModeAsk;
        refreshModeChecks(mode);
        settings_.saveMode(mode); // the monitor keeps running in every mode
        break;
    }
    case ID_TRAY_EXIT:
        stop();
        break;
    default:
        break;
    }
}

} // namespace monitor
