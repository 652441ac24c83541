#include "ui/Label.h"

#include "ui/Prompts.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

CLabel::CLabel(const QString& text, QWidget* parent, int controlId)
    : QFrame(parent), text_(text), controlId_(controlId),
      textColour_(palette().color(QPalette::WindowText)), logFont_(QFrame::font()) {
    flashTimer_.setInterval(500);
    connect(&flashTimer_, &QTimer::timeout, this, [this] {
        flashPhase_ = !flashPhase_;
        redraw();
    });
}

CLabel& CLabel::setBkColor(const QColor& colour, const QColor& gradient, bool useGradient) {
    backColour_ = colour;
    gradientColour_ = gradient.isValid() ? gradient : QColor(0, 0, 0);
    useGradient_ = useGradient;
    backBrush_.reset();
    if (!useGradient)
        backBrush_ = colour;
    redraw();
    return *this;
}

CLabel& CLabel::setTextColor(const QColor& colour) {
    textColour_ = colour;
    redraw();
    return *this;
}

CLabel& CLabel::setText(const QString& text) {
    text_ = text;
    redraw();
    return *this;
}

CLabel& CLabel::setFontBold(bool on) {
    logFont_.setWeight(on ? QFont::Bold : QFont::Normal);
    rebuildFont();
    return *this;
}

CLabel& CLabel::setFontName(const QString& face, int /*charset*/) {
    logFont_.setFamily(face);
    rebuildFont();
    return *this;
}

CLabel& CLabel::setFontUnderline(bool on) {
    logFont_.setUnderline(on);
    rebuildFont();
    return *this;
}

CLabel& CLabel::setFontItalic(bool on) {
    logFont_.setItalic(on);
    rebuildFont();
    return *this;
}

CLabel& CLabel::setFontSize(int points) {
    logFont_.setPointSize(points);
    rebuildFont();
    return *this;
}

CLabel& CLabel::setSunken(bool on) {
    setFrameStyle(on ? (QFrame::StyledPanel | QFrame::Sunken) : QFrame::NoFrame);
    redraw();
    return *this;
}

CLabel& CLabel::setBorder(bool on) {
    setFrameStyle(on ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame);
    redraw();
    return *this;
}

CLabel& CLabel::setTransparent(bool on) {
    transparent_ = on;
    redraw();
    return *this;
}

CLabel& CLabel::flashText(bool on) {
    if (on) {
        startFlashing(FlashText);
    } else {
        flashTimer_.stop();
        flashMode_ = NoFlash;
    }
    redraw();
    return *this;
}

CLabel& CLabel::flashBackground(bool on) {
    flashTimer_.stop();
    if (on)
        startFlashing(FlashBackground);
    redraw();
    return *this;
}

CLabel& CLabel::setLink(bool on, bool notify) {
    linkType_ = on ? WebLink : NoLink;
    notifyParent_ = notify;
    return *this;
}

CLabel& CLabel::setLinkCursor(const std::optional<QCursor>& cursor) {
    if (cursor)
        setCursor(*cursor);
    else
        unsetCursor();
    return *this;
}

CLabel& CLabel::setText3D(bool on, bool raised) {
    text3D_ = on;
    raised_ = raised;
    redraw();
    return *this;
}

CLabel& CLabel::setRotationAngle(int degrees, bool rotate) {
    angle_ = degrees;
    rotate_ = rotate;
    rebuildFont();
    return *this;
}

CLabel& CLabel::setText3DHiliteColor(const QColor& colour) {
    hiliteColour_ = colour;
    redraw();
    return *this;
}

CLabel& CLabel::setFont(const QFont& description) {
    logFont_ = description;
    rebuildFont();
    return *this;
}

CLabel& CLabel::setMailLink(bool on, bool notify) {
    linkType_ = on ? MailLink : NoLink;
    notifyParent_ = notify;
    return *this;
}

CLabel& CLabel::setLinkUrl(const QString& url) {
    linkUrl_ = url;
    return *this;
}

CLabel& CLabel::setAlignment(Qt::Alignment alignment, bool wordWrap) {
    alignment_ = alignment;
    wordWrap_ = wordWrap;
    redraw();
    return *this;
}

CLabel& CLabel::setCentreImage(bool on) {
    centreImage_ = on;
    redraw();
    return *this;
}

QColor CLabel::effectiveTextColour() const {
    if (flashMode_ == FlashText && !flashPhase_)
        return backBrush_.value_or(QColor(0, 0, 0));
    return textColour_;
}

void CLabel::startFlashing(FlashMode mode) {
    flashTimer_.stop();
    flashPhase_ = false;
    flashMode_ = mode;
    flashTimer_.start();
}

void CLabel::rebuildFont() {
    QFrame::setFont(logFont_);
    redraw();
}

void CLabel::redraw() {
    update();
    if (transparent_ && parentWidget())
        parentWidget()->update(geometry());
}

void CLabel::paintEvent(QPaintEvent*) {
    if (transparent_) {
        QPainter painter(this);
        paintText(painter);
    } else {
        // Drawn off screen first so that a flashing or gradient label never flickers.
        QPixmap buffer(size() * devicePixelRatioF());
        buffer.setDevicePixelRatio(devicePixelRatioF());
        QPainter offscreen(&buffer);
        paintBackground(offscreen);
        paintText(offscreen);
        offscreen.end();
        QPainter(this).drawPixmap(0, 0, buffer);
    }
    QPainter frame(this);
    drawFrame(&frame);
}

void CLabel::paintBackground(QPainter& painter) const {
    if (useGradient_) {
        paintGradient(painter);
        return;
    }
    QColor fill = backBrush_.value_or(palette().color(QPalette::Button));
    // A background flash shows the label's colour only every other half-second.
    if (flashMode_ == FlashBackground && !flashPhase_ && parentWidget())
        fill = parentWidget()->palette().color(QPalette::Window);
    painter.fillRect(rect(), fill);
}

void CLabel::paintGradient(QPainter& painter) const {
    const int width = rect().width();
    const int stripes = std::min(100, width);
    if (stripes <= 0)
        return;
    const int stripeWidth = width / stripes;
    const int start[3] = {backColour_.red(), backColour_.green(), backColour_.blue()};
    const int end[3] = {gradientColour_.red(), gradientColour_.green(), gradientColour_.blue()};
    int step[3];
    for (int c = 0; c < 3; ++c)
        step[c] = (end[c] - start[c]) * 256 / stripes; // 8.8 fixed point
    for (int i = 0; i < stripes; ++i) {
        const int x = i * stripeWidth;
        const int w = i == stripes - 1 ? width - x : stripeWidth;
        const QColor colour(start[0] + ((step[0] * i) >> 8), start[1] + ((step[1] * i) >> 8),
                            start[2] + ((step[2] * i) >> 8));
        painter.fillRect(x, 0, w, rect().height(), colour);
    }
}

int CLabel::textFlags() const {
    int flags = 0;
    if (alignment_ & Qt::AlignHCenter)
        flags = Qt::TextWordWrap | Qt::AlignHCenter;
    else if (alignment_ & Qt::AlignRight)
        flags = Qt::TextWordWrap | Qt::AlignRight;
    else if (!wordWrap_)
        flags = Qt::AlignLeft;
    else
        flags = Qt::TextWordWrap | Qt::AlignLeft;
    if (text_.contains('\t'))
        flags |= Qt::TextExpandTabs;
    if (centreImage_) {
        flags = text_.contains("\r\n") ? int(Qt::AlignCenter)
                                       : int(Qt::AlignCenter | Qt::TextSingleLine);
    }
    return flags;
}

void CLabel::paintText(QPainter& painter) const {
    painter.setFont(logFont_);
    painter.setPen(effectiveTextColour());
    const QRect area = rect();
    if (rotate_) {
        painter.save();
        painter.translate(area.center());
        painter.rotate(-angle_);
        const int width = painter.fontMetrics().horizontalAdvance(text_);
        painter.drawText(QPoint(-width / 2, 0), text_);
        painter.restore();
        return;
    }
    painter.drawText(area, textFlags(), text_);
    if (text3D_) {
        painter.setPen(hiliteColour_);
        const int offset = raised_ ? 1 : -1;
        painter.drawText(area.translated(offset, offset), textFlags(), text_);
    }
}

void CLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        if (notifyParent_)
            emit notified(controlId_, ClickNotification);
        else
            followLink();
    }
    QFrame::mousePressEvent(event);
}

void CLabel::followLink() {
    if (linkType_ == WebLink)
        prompts::openWithDesktop(QUrl(linkUrl_.isEmpty() ? text_ : linkUrl_));
    else if (linkType_ == MailLink)
        prompts::openWithDesktop(QUrl("mailto:" + text_));
}

void CLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange)
        redraw(); // the default background follows the system's button colour
    QFrame::changeEvent(event);
}
