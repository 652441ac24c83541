#include "monitor/TaskbarNotifier.h"

#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTextLayout>

namespace monitor {

TaskbarEdge findTaskbarEdge(const ScreenAreas& areas) {
    const QRect& screen = areas.screen;
    const QRect& work = areas.work;
    if (work.width() < screen.width())
        return work.left() == screen.left() ? TaskbarEdge::Right : TaskbarEdge::Left;
    if (work.height() < screen.height() && work.top() != screen.top())
        return TaskbarEdge::Top;
    return TaskbarEdge::Bottom;
}

namespace {

ScreenAreas primaryScreenAreas() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return {screen->geometry(), screen->availableGeometry()};
}

// Right and bottom edges as exclusive coordinates (left + width), as the slide tables use.
int rightOf(const QRect& r) {
    return r.x() + r.width();
}
int bottomOf(const QRect& r) {
    return r.y() + r.height();
}

bool slidesSideways(TaskbarEdge edge) {
    return edge == TaskbarEdge::Left || edge == TaskbarEdge::Right;
}

QFont makeFont(const QString& face, int tenthsOfPoint, int style) {
    QFont font(face);
    font.setStyleHint(QFont::SansSerif); // the face may be missing here: stay sans-serif
    font.setPointSizeF(tenthsOfPoint / 10.0);
    font.setWeight((style & CTaskbarNotifier::Bold) ? QFont::Bold : QFont::Normal);
    font.setItalic(style & CTaskbarNotifier::Italic);
    font.setUnderline(style & CTaskbarNotifier::Underline);
    return font;
}

} // namespace

CTaskbarNotifier::CTaskbarNotifier(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus),
      timers_(std::make_unique<QtNotifierTimers>([this](int id) { onTimer(id); })),
      screenAreaProvider_(primaryScreenAreas) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Where a compositor runs, the skin's clear corners show what lies behind; elsewhere the
    // mask set with the skin cuts them out.
    setAttribute(Qt::WA_TranslucentBackground);
    setCursor(Qt::PointingHandCursor);
    setGeometry(0, 0, 0, 0);
}

CTaskbarNotifier::~CTaskbarNotifier() = default;

void CTaskbarNotifier::setTimers(std::unique_ptr<NotifierTimers> timers) {
    timers_ = std::move(timers);
}

void CTaskbarNotifier::setScreenAreaProvider(std::function<ScreenAreas()> provider) {
    screenAreaProvider_ = std::move(provider);
}

bool CTaskbarNotifier::loadSkin(const QString& path) {
    skin_ = QPixmap();
    QPixmap loaded;
    if (!loaded.load(path))
        return false;
    setSkin(loaded);
    return true;
}

void CTaskbarNotifier::setSkin(const QPixmap& skin) {
    skin_ = skin;
    textRect_ = QRect(QPoint(0, 0), skin_.size());
    // The skin's clear pixels (its rounded corners) are cut out of the window itself: without
    // a compositor a window has no see-through pixels, and the corners would show grey.
    if (skin_.hasAlpha())
        setMask(skin_.mask());
    else
        clearMask();
}

void CTaskbarNotifier::chooseFonts(const QString& face, int tenthsOfPoint, int normalStyle,
                                   int hoverStyle) {
    normalFont_ = makeFont(face, tenthsOfPoint, normalStyle);
    hoverFont_ = makeFont(face, tenthsOfPoint, hoverStyle);
}

void CTaskbarNotifier::chooseColours(const QColor& normal, const QColor& hover) {
    normalColour_ = normal;
    hoverColour_ = hover;
    repaint();
}

void CTaskbarNotifier::placeText(const QRect& rect) {
    textRect_ = rect;
}

ScreenAreas CTaskbarNotifier::screenAreas() const {
    return screenAreaProvider_();
}

bool CTaskbarNotifier::popUp(const QString& text, unsigned timeToShow, unsigned timeToStay,
                             unsigned timeToHide) {
    const ScreenAreas areas = screenAreas();
    const TaskbarEdge edge = findTaskbarEdge(areas);
    const int span = slidesSideways(edge) ? skin_.width() : skin_.height();
    // The step count divides the slide times: a skin smaller than one step cannot slide.
    if (state_ == Hidden && span / kStep < 1)
        return false;
    text_ = text;
    timeToShow_ = timeToShow;
    timeToStay_ = timeToStay;
    timeToHide_ = timeToHide;
    switch (state_) {
    case Hidden:
        placement_ = edge;
        startSliding(areas);
        break;
    case SlidingIn:
        repaint();
        break;
    case Waiting:
        repaint();
        timers_->start(WaitTimer, timeToStay_);
        break;
    case SlidingOut:
        timers_->stop(HideTimer);
        timers_->start(WaitTimer, timeToStay_);
        current_ = shownPosition();
        state_ = Waiting;
        placeWindow(false);
        repaint();
        break;
    }
    return true;
}

void CTaskbarNotifier::startSliding(const ScreenAreas& areas) {
    work_ = areas.work;
    const int w = skin_.width();
    const int h = skin_.height();
    const int steps = (slidesSideways(placement_) ? w : h) / kStep;
    switch (placement_) {
    case TaskbarEdge::Right:
        start_ = QPoint(rightOf(work_), bottomOf(work_) - h);
        break;
    case TaskbarEdge::Left:
        start_ = QPoint(work_.left() - w, bottomOf(work_) - h);
        break;
    case TaskbarEdge::Top:
        start_ = QPoint(rightOf(work_) - w, work_.top() - h);
        break;
    case TaskbarEdge::Bottom:
        start_ = QPoint(rightOf(work_) - w, bottomOf(work_));
        break;
    }
    showStepDelay_ = timeToShow_ / steps;
    hideStepDelay_ = timeToHide_ / steps;
    current_ = start_;
    placeWindow(true);
    timers_->start(ShowTimer, showStepDelay_);
}

QPoint CTaskbarNotifier::shownPosition() const {
    switch (placement_) {
    case TaskbarEdge::Right:
        return {rightOf(work_) - skin_.width(), current_.y()};
    case TaskbarEdge::Left:
        return {work_.left(), current_.y()};
    case TaskbarEdge::Top:
        return {current_.x(), work_.top()};
    case TaskbarEdge::Bottom:
        break;
    }
    return {current_.x(), bottomOf(work_) - skin_.height()};
}

void CTaskbarNotifier::withdraw() {
    for (int id : {ShowTimer, WaitTimer, HideTimer})
        timers_->stop(id);
    setGeometry(0, 0, 0, 0);
    hide();
    state_ = Hidden;
}

void CTaskbarNotifier::onTimer(int id) {
    switch (id) {
    case ShowTimer:
        slideInTick(false);
        break;
    case WaitTimer:
        if (mouseOver_)
            return; // stays as long as the mouse stays
        timers_->stop(WaitTimer);
        timers_->start(HideTimer, hideStepDelay_);
        break;
    case HideTimer:
        if (mouseOver_)
            slideInTick(true); // the mouse came back: slide in again
        else
            slideOutTick();
        break;
    default:
        break;
    }
}

bool CTaskbarNotifier::stepIn() {
    const int w = skin_.width();
    const int h = skin_.height();
    switch (placement_) {
    case TaskbarEdge::Top:
        return current_.y() - start_.y() < h ? (current_.ry() += kStep, true) : false;
    case TaskbarEdge::Left:
        return current_.x() - start_.x() < w ? (current_.rx() += kStep, true) : false;
    case TaskbarEdge::Right:
        return current_.x() > start_.x() - w ? (current_.rx() -= kStep, true) : false;
    case TaskbarEdge::Bottom:
        break;
    }
    return current_.y() > start_.y() - h ? (current_.ry() -= kStep, true) : false;
}

bool CTaskbarNotifier::stepOut() {
    switch (placement_) {
    case TaskbarEdge::Top:
        return current_.y() > start_.y() ? (current_.ry() -= kStep, true) : false;
    case TaskbarEdge::Left:
        return current_.x() > start_.x() ? (current_.rx() -= kStep, true) : false;
    case TaskbarEdge::Right:
        return current_.x() < start_.x() ? (current_.rx() += kStep, true) : false;
    case TaskbarEdge::Bottom:
        break;
    }
    return current_.y() < start_.y() ? (current_.ry() += kStep, true) : false;
}

void CTaskbarNotifier::slideInTick(bool fromHideTimer) {
    state_ = SlidingIn;
    if (!stepIn()) {
        // Arrived. A slide back in under the mouse keeps the hide timer: once the mouse
        // leaves, its next tick slides the pop-up out again.
        if (!fromHideTimer)
            timers_->stop(ShowTimer);
        timers_->start(WaitTimer, timeToStay_);
        state_ = Waiting;
    }
    placeWindow(true);
}

void CTaskbarNotifier::slideOutTick() {
    state_ = SlidingOut;
    if (!stepOut()) {
        withdraw();
        return;
    }
    placeWindow(false);
}

void CTaskbarNotifier::placeWindow(bool showOnTop) {
    setGeometry(QRect(current_, skin_.size()));
    if (showOnTop) {
        show();
        if (QGuiApplication::platformName() != QLatin1String("offscreen")) // it has no stacking
            raise();
    }
}

void CTaskbarNotifier::setMouseOver(bool over) {
    if (mouseOver_ == over)
        return;
    mouseOver_ = over;
    repaint();
}

void CTaskbarNotifier::enterEvent(QEnterEvent*) {
    setMouseOver(true);
}

void CTaskbarNotifier::leaveEvent(QEvent*) {
    setMouseOver(false);
}

void CTaskbarNotifier::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit clicked();
    QWidget::mouseReleaseEvent(event);
}

void CTaskbarNotifier::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, skin_);
    drawText(painter);
}

// Word-wrapped text that breaks inside long words (links have no blanks), the last line
// that fits ending in an ellipsis when the text goes on.
void CTaskbarNotifier::drawText(QPainter& painter) const {
    if (text_.isEmpty() || textRect_.width() <= 0 || textRect_.height() <= 0)
        return;
    painter.setFont(currentFont());
    painter.setPen(currentColour());
    const QFontMetrics metrics(currentFont());
    QTextLayout layout(text_, currentFont());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    QList<QTextLine> lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(textRect_.width());
        line.setPosition(QPointF(0, y));
        y += line.height();
        lines << line;
    }
    layout.endLayout();
    const int fitting = qMax(1, static_cast<int>(textRect_.height() / metrics.height()));
    for (int i = 0; i < lines.size() && i < fitting; ++i) {
        const QTextLine& line = lines[i];
        const QPointF at = textRect_.topLeft() + line.position();
        if (i == fitting - 1 && i + 1 < lines.size()) {
            const QString rest = text_.mid(line.textStart());
            const QString elided = metrics.elidedText(rest, Qt::ElideRight, textRect_.width());
            painter.drawText(QPointF(at.x(), at.y() + metrics.ascent()), elided);
        } else {
            line.draw(&painter, textRect_.topLeft());
        }
    }
}

} // namespace monitor
