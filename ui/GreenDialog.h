// Base of the viewer's small dialogs: one light-green background behind transparent static
// texts, and controls placed by dialog units so that the layout follows the font in use.
#pragma once

#include <QColor>
#include <QDialog>

class QLabel;
class QPushButton;
class QFrame;

class CGreenDialog : public QDialog {
public:
    static inline const QColor dialogColour{149, 206, 153};

    CGreenDialog(QWidget* parent, const QString& caption, int widthDu, int heightDu);

protected:
    // Places `widget` at the dialog-unit rectangle (x, y, width, height).
    void place(QWidget* widget, int x, int y, int width, int height) const;
    QLabel* addStatic(const QString& text, int x, int y, int width, int height);
    QPushButton* addButton(const QString& text, int x, int y, int width, int height,
                           bool isDefault = false);
    QFrame* addSunkenLine(int x, int y, int width);
    // Called last by each dialog: single-line texts that the font in use makes wider than
    // their place get the room they need, and the dialog grows with them.
    void fitTexts();
    // Edits keep the system's colours while the dialog around them is green.
    static void keepSystemColours(QWidget* edit);

private:
    double unitX_;
    double unitY_;
};
