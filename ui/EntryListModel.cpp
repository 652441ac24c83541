#include "ui/EntryListModel.h"

#include <algorithm>
#include <utility>

namespace {
const char* const kHeaders[ColumnCount] = {"Name",   "Type", "Size (bytes)", "Rate",
                                           "Packed", "Path", "Method"};
constexpr int kBatchMs = 40;
// The table lays out every shown row again after each insertion. Once this many rows are
// shown, batches are gathered for kLargeListBatchMs, so that a list of a million rows costs a
// few dozen layouts instead of hundreds.
constexpr size_t kLargeList = 65536;
constexpr int kLargeListBatchMs = 250;
// Sorting a list this long on this thread takes a few tens of milliseconds; longer lists are
// sorted on the worker thread.
constexpr size_t kBackgroundSortRows = 100000;
} // namespace

EntryListModel::EntryListModel(QObject* parent)
    : QAbstractTableModel(parent), rows_(std::make_shared<RowStore>()),
      ascendingArrow_(":/marrowglen/sort-up.png"), descendingArrow_(":/marrowglen/sort-down.png"),
      backgroundSortFrom_(kBackgroundSortRows), workerRanks_(std::make_shared<SortRanks>()) {
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(kBatchMs);
    connect(&flushTimer_, &QTimer::timeout, this, &EntryListModel::flush);
    sorter_.setMaxThreadCount(1);
}

// A running sort reports to this model: it must end first.
EntryListModel::~EntryListModel() {
    ++newestSort_;
    sorter_.clear();
    sorter_.waitForDone();
}

void EntryListModel::addRow(ListRow row) {
    pending_.push_back(std::move(row));
    if (rows_->empty() && pending_.size() == 1)
        flush(); // the first row replaces the empty-list picture at once
    else if (!flushTimer_.isActive())
        flushTimer_.start(kBatchMs);
}

void EntryListModel::addRows(std::vector<ListRow> rows) {
    pending_.insert(pending_.end(), std::make_move_iterator(rows.begin()),
                    std::make_move_iterator(rows.end()));
    if (rows_->size() < kLargeList)
        flush();
    else if (!flushTimer_.isActive())
        flushTimer_.start(kLargeListBatchMs);
}

void EntryListModel::flush() {
    flushTimer_.stop();
    std::vector<ListRow> rows;
    rows.swap(pending_);
    append(std::move(rows));
}

// New rows go after the others, unsorted until the next sort, as they arrive.
void EntryListModel::append(std::vector<ListRow> rows) {
    if (rows.empty())
        return;
    const bool wasEmpty = rows_->empty();
    const int firstArrival = int(rows_->size());
    std::vector<int> passing;
    for (size_t i = 0; i < rows.size(); ++i)
        if (passes(rows[i]))
            passing.push_back(firstArrival + int(i));
    if (!passing.empty())
        beginInsertRows({}, int(shown_.size()), int(shown_.size() + passing.size()) - 1);
    for (ListRow& row : rows)
        rows_->push_back(std::move(row));
    for (int arrival = firstArrival; arrival < int(rows_->size()); ++arrival)
        order_.push_back(arrival);
    shown_.insert(shown_.end(), passing.begin(), passing.end());
    if (!passing.empty())
        endInsertRows();
    if (wasEmpty)
        emit emptinessChanged(false);
}

void EntryListModel::clear() {
    flushTimer_.stop();
    pending_.clear();
    if (sortPending_) {
        ++newestSort_; // the running sort's order is of rows that are going
        sortPending_ = false;
    }
    if (rows_->empty())
        return;
    beginResetModel();
    rows_ = std::make_shared<RowStore>();
    ranks_ = SortRanks();
    workerRanks_ = std::make_shared<SortRanks>();
    order_.clear();
    shown_.clear();
    endResetModel();
    emit emptinessChanged(true);
}

std::vector<const ListRow*> EntryListModel::allRows() const {
    std::vector<const ListRow*> all;
    all.reserve(order_.size());
    for (int arrival : order_)
        all.push_back(&(*rows_)[size_t(arrival)]);
    return all;
}

bool EntryListModel::passes(const ListRow& row) const {
    return filterKey_.isEmpty() || row.pathNameKey.contains(filterKey_);
}

void EntryListModel::rebuildShown() {
    shown_ = passingRows(order_);
}

std::vector<int> EntryListModel::passingRows(const std::vector<int>& arrivals) const {
    if (filterKey_.isEmpty())
        return arrivals;
    std::vector<int> passing;
    for (int arrival : arrivals)
        if (passes((*rows_)[size_t(arrival)]))
            passing.push_back(arrival);
    return passing;
}

// A key that contains the previous one lets through only rows the previous one did: typing
// one more letter looks at the rows shown, not at a million. When the rows shown stay the
// same (every name has the letters typed so far), the views are not told: laying out a
// million rows again would cost more than the search.
void EntryListModel::setFilter(const QString& text) {
    if (text == filter_)
        return;
    flush();
    filter_ = text;
    const QString previousKey = std::exchange(filterKey_, text.toCaseFolded());
    const bool narrowing = !previousKey.isEmpty() && filterKey_.contains(previousKey);
    std::vector<int> shown = passingRows(narrowing ? shown_ : order_);
    if (shown == shown_)
        return;
    beginResetModel();
    shown_ = std::move(shown);
    endResetModel();
}

std::vector<int> EntryListModel::shownRowsByArrival() const {
    std::vector<int> where(rows_->size(), -1);
    for (size_t row = 0; row < shown_.size(); ++row)
        where[size_t(shown_[row])] = int(row);
    return where;
}

void EntryListModel::sortBy(int code, bool descending) {
    flush();
    arrowColumn_ = code - 1;
    arrowDescending_ = descending;
    const int request = ++newestSort_;
    if (rows_->size() >= backgroundSortFrom_) {
        startBackgroundSort(request, code, descending);
    } else {
        sortPending_ = false;
        applyOrder(sorting::sortedOrder(rows_->snapshot(), order_, code, descending, ranks_));
    }
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

// The worker gets its own copy of what it reads; the rows it sorts stay where they are while
// more are added, and the store lives on with the task if the list is cleared meanwhile.
void EntryListModel::startBackgroundSort(int request, int code, bool descending) {
    sortPending_ = true;
    sorter_.start([this, request, code, descending, keep = rows_, rows = rows_->snapshot(),
                   previous = order_, ranks = workerRanks_] {
        if (newestSort_ != request)
            return; // a newer sort is waiting behind this one
        std::vector<int> order = sorting::sortedOrder(rows, previous, code, descending, *ranks);
        QMetaObject::invokeMethod(
            this,
            [this, request, order = std::move(order)]() mutable {
                finishBackgroundSort(request, std::move(order));
            },
            Qt::QueuedConnection);
    });
}

void EntryListModel::finishBackgroundSort(int request, std::vector<int> order) {
    if (request != newestSort_)
        return;
    sortPending_ = false;
    for (int arrival = int(order.size()); arrival < int(rows_->size()); ++arrival)
        order.push_back(arrival);
    applyOrder(std::move(order));
    emit sortFinished();
}

void EntryListModel::applyOrder(std::vector<int> order) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> arrivals;
    arrivals.reserve(size_t(before.size()));
    for (const QModelIndex& index : before)
        arrivals.push_back(shown_[size_t(index.row())]);
    order_ = std::move(order);
    rebuildShown();
    if (!before.isEmpty()) {
        // Selection and current row follow their rows.
        const std::vector<int> where = shownRowsByArrival();
        QModelIndexList after;
        after.reserve(before.size());
        for (size_t i = 0; i < arrivals.size(); ++i)
            after.push_back(index(where[size_t(arrivals[i])], before[qsizetype(i)].column()));
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int EntryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(shown_.size());
}

Qt::ItemFlags EntryListModel::flags(const QModelIndex& index) const {
    const Qt::ItemFlags base = QAbstractTableModel::flags(index);
    return index.isValid() ? base | Qt::ItemIsDragEnabled : base;
}

int EntryListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= shown_.size())
        return {};
    const ListRow& entry = row(index.row());
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return entry.cells[size_t(index.column())];
    if (role == Qt::DecorationRole && index.column() == ColName && iconProvider_)
        return iconProvider_(entry.iconIndex);
    return {};
}

QVariant EntryListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString(kHeaders[section]);
    if (role == Qt::DecorationRole && section == arrowColumn_)
        return arrowDescending_ ? descendingArrow_ : ascendingArrow_;
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}
