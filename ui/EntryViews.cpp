#include "ui/EntryViews.h"

#include "ui/EntryListModel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace emptylist {

const QPixmap& picture() {
    static const QPixmap image(":/marrowglen/empty-list.png");
    return image;
}

QPoint position(const QSize& client) {
    return {(client.width() - 358) / 2, (client.height() - 129) / 2};
}

} // namespace emptylist

namespace {

// The picture stands for an empty list, not for a filter that matches nothing.
template <typename View> bool paintEmptyPicture(View& view) {
    const auto* entries = qobject_cast<const EntryListModel*>(view.model());
    if (entries != nullptr ? entries->totalCount() > 0
                           : view.model() != nullptr && view.model()->rowCount() > 0)
        return false;
    QPainter painter(view.viewport());
    painter.drawPixmap(emptylist::position(view.viewport()->size()), emptylist::picture());
    return true;
}

// Every item takes the whole grid cell, so that names get the cell's width instead of
// being cut to the width of their icon.
class GridCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const auto* view = qobject_cast<const QListView*>(parent());
        if (view != nullptr && view->gridSize().isValid())
            return view->gridSize() - QSize(4, 4);
        return QStyledItemDelegate::sizeHint(option, index);
    }
};

} // namespace

EntryTableView::EntryTableView(QWidget* parent) : QTreeView(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true); // keeps 65,535 rows fast
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setSortingEnabled(false); // the view sorts by its own rules
    setContextMenuPolicy(Qt::CustomContextMenu);
    setIconSize(QSize(16, 16));
    setDragEnabled(true);
}

void EntryTableView::paintEvent(QPaintEvent* event) {
    if (!paintEmptyPicture(*this))
        QTreeView::paintEvent(event);
}

void EntryTableView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeView::mouseReleaseEvent(event);
    emit mouseActed();
}

void EntryTableView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit doubleClickedAnywhere();
}

EntryIconView::EntryIconView(QWidget* parent) : QListView(parent) {
    setUniformItemSizes(true);
    setLayoutMode(QListView::Batched);
    setBatchSize(2000);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setItemDelegate(new GridCellDelegate(this));
}

void EntryIconView::setLabelsBelowIcons(bool below) {
    labelsBelowIcons_ = below;
    setSelectionRectVisible(below); // the rubber band of an icon view
    viewport()->update();
}

// As an icon view draws its items: the icon centred above the name, only the name highlighted.
void EntryIconView::initViewItemOption(QStyleOptionViewItem* option) const {
    QListView::initViewItemOption(option);
    if (!labelsBelowIcons_)
        return;
    option->showDecorationSelected = false;
    option->decorationPosition = QStyleOptionViewItem::Top;
    option->displayAlignment = Qt::AlignCenter;
}

void EntryTableView::startDrag(Qt::DropActions) {
    emit dragRequested();
}

void EntryIconView::paintEvent(QPaintEvent* event) {
    if (!paintEmptyPicture(*this))
        QListView::paintEvent(event);
}

void EntryIconView::mouseReleaseEvent(QMouseEvent* event) {
    QListView::mouseReleaseEvent(event);
    emit mouseActed();
}

void EntryIconView::mouseDoubleClickEvent(QMouseEvent* event) {
    QListView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit doubleClickedAnywhere();
}

void EntryIconView::startDrag(Qt::DropActions) {
    emit dragRequested();
}
