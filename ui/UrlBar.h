// The URL bar: an address field and an Open button on one line above the list.
#pragma once

#include <QRect>
#include <QWidget>

class QLineEdit;
class QPushButton;

struct UrlBarGeometry {
    QRect edit;
    QRect button;
};

// The field fills the client width less the frame's border allowance and the button;
// the button follows it. `extra` is the window's width less its client width.
UrlBarGeometry urlBarLayout(int clientWidth, int extra);

class CUrlBar : public QWidget {
public:
    explicit CUrlBar(QWidget* parent = nullptr);

    QLineEdit* edit() const { return edit_; }
    QPushButton* openButton() const { return open_; }
    void layOut(int clientWidth, int extra);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLineEdit* edit_;
    QPushButton* open_;
};
