// The rows of the archive list. Rows that the list job adds arrive one call at a time; they
// are gathered and handed to the views in batches, so that a listing of 65,535 entries costs
// a few hundred layout passes instead of one per row.
#pragma once

#include "ui/ListRow.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QPixmap>
#include <QTimer>

#include <functional>
#include <vector>

class EntryListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using IconProvider = std::function<QIcon(int iconIndex)>;

    explicit EntryListModel(QObject* parent = nullptr);

    void setIconProvider(IconProvider provider) { iconProvider_ = std::move(provider); }
    // The row goes at the end; views see it at the next flush (within one batch interval).
    void addRow(ListRow row);
    void flush();
    void clear();
    int count() const;
    const ListRow& row(int index) const { return rows_[size_t(index)]; }

    // Sorts by code 1 to 6 and moves the header arrow to that column.
    void sortBy(int code, bool descending);
    int arrowColumn() const { return arrowColumn_; }
    bool arrowDescending() const { return arrowDescending_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // Rows can be dragged out of the list (ui/EntryDrag.h).
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // The list went from empty to filled or back (the empty-list picture comes and goes).
    void emptinessChanged(bool empty);

private:
    std::vector<ListRow> rows_;
    std::vector<ListRow> pending_;
    QTimer flushTimer_;
    IconProvider iconProvider_;
    int arrowColumn_ = -1;
    bool arrowDescending_ = false;
    QPixmap ascendingArrow_;
    QPixmap descendingArrow_;
};
