// The two widgets that show the archive list: a table (the "Table" display type) and an icon
// or list view (the other three). Both draw the empty-list picture centred while the list is
// empty and report the user's mouse actions that update the selected-files count.
#pragma once

#include <QListView>
#include <QPixmap>
#include <QTreeView>

// Shared behaviour of both views, reported through these signals by each.
class EntryTableView : public QTreeView {
    Q_OBJECT
public:
    explicit EntryTableView(QWidget* parent = nullptr);

signals:
    // A click, right-click or the end of a mouse capture.
    void mouseActed();
    void doubleClickedAnywhere();
    // The user began to drag the selected rows out of the list.
    void dragRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
};

// Large Icons is laid out as a wrapping list with the name under each icon, not in Qt's icon
// mode: that mode keeps a positioned item for every row and lays all of them out again after
// each insertion, which pauses the window for a tenth of a second at a million rows.
class EntryIconView : public QListView {
    Q_OBJECT
public:
    explicit EntryIconView(QWidget* parent = nullptr);
    void setLabelsBelowIcons(bool below);
    bool labelsBelowIcons() const { return labelsBelowIcons_; }

signals:
    void mouseActed();
    void doubleClickedAnywhere();
    void dragRequested();

protected:
    void initViewItemOption(QStyleOptionViewItem* option) const override;
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    bool labelsBelowIcons_ = false;
};

namespace emptylist {
// The picture, and where it goes in a client area of the given size.
const QPixmap& picture();
QPoint position(const QSize& client);
} // namespace emptylist
