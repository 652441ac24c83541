// A static text with its own colours, font, gradient, flashing, three-dimensional text,
// rotation and link behaviour. Every setter redraws and returns the label for chaining.
#pragma once

#include <QColor>
#include <QCursor>
#include <QFrame>
#include <QTimer>

#include <optional>

class CLabel : public QFrame {
    Q_OBJECT
public:
    enum LinkType { NoLink = 0, WebLink = 1, MailLink = 2 };
    enum FlashMode { NoFlash = 0, FlashText = 1, FlashBackground = 2 };
    // The notification code a click sends to the parent when it asks to be told.
    static constexpr int ClickNotification = 0x8200;

    explicit CLabel(const QString& text = {}, QWidget* parent = nullptr, int controlId = 0);

    CLabel& setBkColor(const QColor& colour, const QColor& gradient = {}, bool useGradient = false);
    CLabel& setTextColor(const QColor& colour);
    CLabel& setText(const QString& text);
    CLabel& setFontBold(bool on);
    // The character set is kept for callers that pass one; Qt picks glyphs by Unicode.
    CLabel& setFontName(const QString& face, int charset = 0);
    CLabel& setFontUnderline(bool on);
    CLabel& setFontItalic(bool on);
    CLabel& setFontSize(int points);
    CLabel& setSunken(bool on);
    CLabel& setBorder(bool on);
    CLabel& setTransparent(bool on);
    CLabel& flashText(bool on);
    CLabel& flashBackground(bool on);
    CLabel& setLink(bool on, bool notify);
    CLabel& setLinkCursor(const std::optional<QCursor>& cursor);
    CLabel& setText3D(bool on, bool raised = true);
    CLabel& setRotationAngle(int degrees, bool rotate);
    CLabel& setText3DHiliteColor(const QColor& colour);
    CLabel& setFont(const QFont& description);
    CLabel& setMailLink(bool on, bool notify);
    CLabel& setLinkUrl(const QString& url);

    // The static control's style: alignment, word wrap, centred single line.
    CLabel& setAlignment(Qt::Alignment alignment, bool wordWrap = true);
    CLabel& setCentreImage(bool on);

    QString text() const { return text_; }
    int controlId() const { return controlId_; }
    bool flashPhase() const { return flashPhase_; }
    int flashMode() const { return flashMode_; }
    int linkType() const { return linkType_; }
    bool notifiesParent() const { return notifyParent_; }
    // The colour the text is drawn in at this moment (flashing hides it every other phase).
    QColor effectiveTextColour() const;

signals:
    // A click while the label notifies its parent instead of following its link.
    void notified(int controlId, int code);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void paintBackground(QPainter& painter) const;
    void paintGradient(QPainter& painter) const;
    void paintText(QPainter& painter) const;
    int textFlags() const;
    void rebuildFont();
    void startFlashing(FlashMode mode);
    void redraw();
    void followLink();

    QString text_;
    int controlId_;
    QColor textColour_;
    std::optional<QColor> backBrush_;
    QColor hiliteColour_{255, 255, 255};
    QFont logFont_;
    bool flashPhase_ = false;
    bool transparent_ = false;
    LinkType linkType_ = NoLink;
    bool text3D_ = false;
    bool raised_ = false;
    bool notifyParent_ = false;
    bool rotate_ = false;
    int angle_ = 0;
    FlashMode flashMode_ = NoFlash;
    QTimer flashTimer_;
    bool useGradient_ = false;
    QColor gradientColour_;
    QColor backColour_;
    QString linkUrl_;
    Qt::Alignment alignment_ = Qt::AlignLeft;
    bool wordWrap_ = true;
    bool centreImage_ = false;
};
