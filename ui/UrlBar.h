// The URL bar: an address field with the addresses opened last as its drop-down, and an Open
// button, on one line above the list.
#pragma once

#include <QRect>
#include <QStringList>
#include <QWidget>

class QComboBox;
class QCompleter;
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
    Q_OBJECT

public:
    explicit CUrlBar(QWidget* parent = nullptr);

    // The text field of the combo box.
    QLineEdit* edit() const { return edit_; }
    QComboBox* combo() const { return combo_; }
    QCompleter* completer() const { return completer_; }
    QPushButton* openButton() const { return open_; }
    void layOut(int clientWidth, int extra);

    // The drop-down's entries, newest first. The field keeps its text.
    void setHistory(const QStringList& addresses);
    QStringList history() const;
    // Ctrl+L: the field gets the focus with its whole text selected.
    void focusAndSelect();

signals:
    // Enter in the field, the Open button, or an address chosen from the drop-down or the
    // completion list. Requests coming together (Enter on a completion) make one.
    void openRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void requestOpen();

    QComboBox* combo_;
    QLineEdit* edit_;
    QCompleter* completer_;
    QPushButton* open_;
    bool openPending_ = false;
};
