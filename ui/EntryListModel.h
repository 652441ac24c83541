// The rows of the archive list. Rows arrive in batches from the list job (or one at a time,
// gathered and handed to the views in batches), so that a listing of 65,535 entries costs a
// few dozen layout passes instead of one per row.
//
// Every row is kept in arrival order; the sort order and the rows the filter lets through are
// vectors of indices into them, so sorting and filtering move numbers, not rows. The views
// see only the rows that pass the filter, in sort order.
//
// A long list sorts on a worker thread, so that the window keeps answering: the new order
// replaces the old one when it is ready, the selection and current row following their rows.
// Only the newest sort's result is used; rows that arrived meanwhile stay after the sorted
// ones, in arrival order, as new rows always go until the next sort.
#pragma once

#include "ui/ListRow.h"
#include "ui/RowOrder.h"
#include "ui/RowStore.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QPixmap>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class EntryListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using IconProvider = std::function<QIcon(int iconIndex)>;

    explicit EntryListModel(QObject* parent = nullptr);
    ~EntryListModel() override;

    void setIconProvider(IconProvider provider) { iconProvider_ = std::move(provider); }
    // The row goes at the end; views see it at the next flush (within one batch interval).
    void addRow(ListRow row);
    // The rows go at the end (after any single rows still waiting), shown at once while the
    // list is short and at the next flush once it is long.
    void addRows(std::vector<ListRow> rows);
    void flush();
    void clear();
    // Rows shown: those that pass the filter.
    int count() const { return int(shown_.size()); }
    // Every row of the list, filtered out or waiting to be shown included.
    int totalCount() const { return int(rows_->size() + pending_.size()); }
    // The shown row at `index`, in sort order.
    const ListRow& row(int index) const { return (*rows_)[size_t(shown_[size_t(index)])]; }
    // Every row in sort order, the filter aside (waiting rows not included).
    std::vector<const ListRow*> allRows() const;

    // Shows only rows whose folder and name contain `text`, ignoring case; empty shows all.
    void setFilter(const QString& text);
    const QString& filter() const { return filter_; }
    // The arrival number of a shown row, and for every arrival number the row it is shown
    // at (-1 where the filter hides it): selections are carried across a change by these.
    int arrivalOf(int shownRow) const { return shown_[size_t(shownRow)]; }
    std::vector<int> shownRowsByArrival() const;

    // Sorts by code 1 to 7 and moves the header arrow to that column. A list of at least
    // backgroundSortFrom() rows is sorted on the worker thread: the order changes when
    // sortFinished() is emitted.
    void sortBy(int code, bool descending);
    bool sortPending() const { return sortPending_; }
    size_t backgroundSortFrom() const { return backgroundSortFrom_; }
    void setBackgroundSortFrom(size_t rows) { backgroundSortFrom_ = rows; }
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
    // The newest sort's order is shown.
    void sortFinished();

private:
    bool passes(const ListRow& row) const;
    void rebuildShown();
    // Those of `arrivals` that pass the filter, in the same order.
    std::vector<int> passingRows(const std::vector<int>& arrivals) const;
    void append(std::vector<ListRow> rows);
    void startBackgroundSort(int request, int code, bool descending);
    void finishBackgroundSort(int request, std::vector<int> order);
    // Replaces order_, keeping the selection and current row on their rows.
    void applyOrder(std::vector<int> order);

    // In arrival order. Shared with a running sort, which reads the rows it was given even
    // after the list is cleared.
    std::shared_ptr<RowStore> rows_;
    std::vector<int> order_; // indices into rows_, in sort order
    std::vector<int> shown_; // the part of order_ that passes the filter
    std::vector<ListRow> pending_;
    QTimer flushTimer_;
    IconProvider iconProvider_;
    QString filter_;
    QString filterKey_; // case-folded
    int arrowColumn_ = -1;
    bool arrowDescending_ = false;
    QPixmap ascendingArrow_;
    QPixmap descendingArrow_;

    size_t backgroundSortFrom_;
    bool sortPending_ = false;
    // The number of the newest sort (or clear): a sort with another number is stale.
    std::atomic<int> newestSort_{0};
    SortRanks ranks_; // for sorts on this thread
    // For sorts on the worker thread, which alone uses them; a new list gets new ones.
    std::shared_ptr<SortRanks> workerRanks_;
    QThreadPool sorter_; // one sort at a time
};
