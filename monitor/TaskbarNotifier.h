// The skinned pop-up that slides out from behind the taskbar, shows a line of text, waits and
// slides back. While the mouse is over it, it stays (or comes back); a click is announced.
#pragma once

#include "monitor/NotifierTimers.h"

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

namespace monitor {

enum class TaskbarEdge { Top = 1, Left = 2, Right = 3, Bottom = 4 };

struct ScreenAreas {
    QRect screen; // the whole screen
    QRect work;   // the part not covered by panels (the work area)
};

// Which screen edge the taskbar stands on, judged from the work area alone.
TaskbarEdge findTaskbarEdge(const ScreenAreas& areas);

class CTaskbarNotifier : public QWidget {
    Q_OBJECT
public:
    enum State { Hidden = 0, SlidingIn = 1, Waiting = 2, SlidingOut = 3 };
    enum FontStyle { Bold = 1, Italic = 2, Underline = 4 };
    enum TimerId { ShowTimer = 1, WaitTimer = 2, HideTimer = 3 };
    static constexpr int kStep = 2;

    explicit CTaskbarNotifier(QWidget* parent = nullptr);
    ~CTaskbarNotifier() override;

    // Seams for tests: who runs the timers, and what the screen looks like.
    void setTimers(std::unique_ptr<NotifierTimers> timers);
    void setScreenAreaProvider(std::function<ScreenAreas()> provider);

    bool loadSkin(const QString& path);
    void setSkin(const QPixmap& skin);
    void chooseFonts(const QString& face, int tenthsOfPoint, int normalStyle, int hoverStyle);
    void chooseColours(const QColor& normal, const QColor& hover);
    void placeText(const QRect& rect);
    // False (nothing shown) when the skin is too small to slide: no size, no steps.
    bool popUp(const QString& text, unsigned timeToShow, unsigned timeToStay, unsigned timeToHide);
    void withdraw();

    // One tick of timer 1, 2 or 3 (the real timers and the tests call this).
    void onTimer(int id);
    // Hover notices (the real ones come from enter and leave events).
    void setMouseOver(bool over);

    State state() const { return state_; }
    TaskbarEdge placement() const { return placement_; }
    QPoint currentPosition() const { return current_; }
    QPoint startPosition() const { return start_; }
    unsigned showStepDelay() const { return showStepDelay_; }
    unsigned hideStepDelay() const { return hideStepDelay_; }
    QString text() const { return text_; }
    QRect textRect() const { return textRect_; }
    QSize skinSize() const { return skin_.size(); }
    bool isMouseOver() const { return mouseOver_; }
    const QFont& currentFont() const { return mouseOver_ ? hoverFont_ : normalFont_; }
    const QColor& currentColour() const { return mouseOver_ ? hoverColour_ : normalColour_; }

signals:
    // The pop-up was clicked; the monitor starts a viewer on the link it shows.
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ScreenAreas screenAreas() const;
    QPoint shownPosition() const;
    void startSliding(const ScreenAreas& areas);
    void slideInTick(bool fromHideTimer);
    void slideOutTick();
    bool stepIn();
    bool stepOut();
    void placeWindow(bool showOnTop);
    void drawText(class QPainter& painter) const;

    std::unique_ptr<NotifierTimers> timers_;
    std::function<ScreenAreas()> screenAreaProvider_;
    QFont normalFont_;
    QFont hoverFont_;
    QColor normalColour_{133, 146, 181};
    QColor hoverColour_{10, 36, 106};
    QPixmap skin_;
    QRect textRect_;
    QString text_;
    bool mouseOver_ = false;
    State state_ = Hidden;
    unsigned timeToShow_ = 0;
    unsigned timeToStay_ = 0;
    unsigned timeToHide_ = 0;
    unsigned showStepDelay_ = 0;
    unsigned hideStepDelay_ = 0;
    QPoint start_;
    QPoint current_;
    QRect work_;
    TaskbarEdge placement_ = TaskbarEdge::Bottom;
};

} // namespace monitor
