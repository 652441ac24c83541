#include "ui/EntryListModel.h"

#include <algorithm>

namespace {
const char* const kHeaders[ColumnCount] = {"Name", "Type",   "Size (bytes)",
                                           "Rate", "Packed", "Path"};
constexpr int kBatchMs = 40;
} // namespace

EntryListModel::EntryListModel(QObject* parent)
    : QAbstractTableModel(parent), ascendingArrow_(":/marrowglen/sort-up.png"),
      descendingArrow_(":/marrowglen/sort-down.png") {
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(kBatchMs);
    connect(&flushTimer_, &QTimer::timeout, this, &EntryListModel::flush);
}

void EntryListModel::addRow(ListRow row) {
    pending_.push_back(std::move(row));
    if (rows_.empty() && pending_.size() == 1)
        flush(); // the first row replaces the empty-list picture at once
    else if (!flushTimer_.isActive())
        flushTimer_.start();
}

void EntryListModel::flush() {
    flushTimer_.stop();
    if (pending_.empty())
        return;
    const bool wasEmpty = rows_.empty();
    const int first = int(rows_.size());
    beginInsertRows({}, first, first + int(pending_.size()) - 1);
    rows_.insert(rows_.end(), std::make_move_iterator(pending_.begin()),
                 std::make_move_iterator(pending_.end()));
    pending_.clear();
    endInsertRows();
    if (wasEmpty)
        emit emptinessChanged(false);
}

void EntryListModel::clear() {
    flushTimer_.stop();
    pending_.clear();
    if (rows_.empty())
        return;
    beginResetModel();
    rows_.clear();
    endResetModel();
    emit emptinessChanged(true);
}

int EntryListModel::count() const {
    return int(rows_.size() + pending_.size());
}

void EntryListModel::sortBy(int code, bool descending) {
    flush();
    arrowColumn_ = code - 1;
    arrowDescending_ = descending;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<uint32_t> numbers;
    numbers.reserve(size_t(before.size()));
    for (const QModelIndex& index : before)
        numbers.push_back(rows_[size_t(index.row())].itemNumber);
    std::stable_sort(rows_.begin(), rows_.end(), [&](const ListRow& a, const ListRow& b) {
        return sorting::compareRows(a, b, code, descending) < 0;
    });
    if (!before.isEmpty()) {
        // Selection and current row follow their rows, which are found by item number.
        std::vector<std::pair<uint32_t, int>> where;
        where.reserve(rows_.size());
        for (size_t i = 0; i < rows_.size(); ++i)
            where.emplace_back(rows_[i].itemNumber, int(i));
        std::sort(where.begin(), where.end());
        QModelIndexList after;
        for (size_t i = 0; i < numbers.size(); ++i) {
            auto found =
                std::lower_bound(where.begin(), where.end(), std::make_pair(numbers[i], 0));
            after.push_back(index(found->second, before[qsizetype(i)].column()));
        }
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

int EntryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

Qt::ItemFlags EntryListModel::flags(const QModelIndex& index) const {
    const Qt::ItemFlags base = QAbstractTableModel::flags(index);
    return index.isValid() ? base | Qt::ItemIsDragEnabled : base;
}

int EntryListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= rows_.size())
        return {};
    const ListRow& entry = rows_[size_t(index.row())];
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
