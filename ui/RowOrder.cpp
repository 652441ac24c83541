#include "ui/RowOrder.h"

#include <algorithm>
#include <tuple>

namespace {

QStringView foldedText(const ListRow& row, int column) {
    switch (column) {
    case ColName:
        return row.nameKey();
    case ColPath:
        return row.pathKey();
    case ColType:
        return row.typeKey;
    default:
        return row.methodKey;
    }
}

std::vector<uint32_t> denseRanks(const RowStore::Snapshot& rows, int column) {
    struct Text {
        QStringView folded;
        uint32_t arrival;
    };
    std::vector<Text> texts;
    texts.reserve(rows.size());
    for (size_t arrival = 0; arrival < rows.size(); ++arrival)
        texts.push_back({foldedText(rows[arrival], column), uint32_t(arrival)});
    std::sort(texts.begin(), texts.end(),
              [](const Text& a, const Text& b) { return a.folded.compare(b.folded) < 0; });
    std::vector<uint32_t> ranks(rows.size());
    uint32_t rank = 0;
    for (size_t i = 0; i < texts.size(); ++i) {
        if (i > 0 && texts[i].folded != texts[i - 1].folded)
            ++rank;
        ranks[texts[i].arrival] = rank;
    }
    return ranks;
}

// What a row is sorted by, each key already turned so that the smaller sorts first.
struct SortKey {
    uint64_t primary = 0;
    uint32_t second = 0;
    uint32_t third = 0;
    uint32_t previous = 0; // where the row was: the last tie-break, never equal
    uint32_t arrival = 0;

    bool operator<(const SortKey& other) const {
        return std::tie(primary, second, third, previous) <
               std::tie(other.primary, other.second, other.third, other.previous);
    }
};

uint64_t directed(uint64_t key, bool descending) {
    return descending ? ~key : key;
}

uint32_t directed(uint32_t key, bool descending) {
    return descending ? ~key : key;
}

// A signed number as an unsigned key of the same order.
uint64_t unsignedOrder(int64_t value) {
    return uint64_t(value) ^ (uint64_t(1) << 63);
}

// The tie-breaks follow the rules of sorting::compareRows: by name, the folder goes
// ascending; by folder, the name goes ascending; by any other column, the folder goes
// ascending and then the name in the chosen direction.
std::vector<SortKey> sortKeys(const RowStore::Snapshot& rows, int code, bool descending,
                              SortRanks& ranks) {
    std::vector<SortKey> keys(rows.size());
    if (!sorting::isValidCode(code)) {
        for (size_t arrival = 0; arrival < rows.size(); ++arrival)
            keys[arrival].arrival = uint32_t(arrival);
        return keys;
    }
    const std::vector<uint32_t>& names = ranks.of(ColName, rows);
    const std::vector<uint32_t>& paths = ranks.of(ColPath, rows);
    const std::vector<uint32_t>* texts = nullptr;
    if (code == sorting::ByType || code == sorting::ByMethod)
        texts = &ranks.of(code == sorting::ByType ? ColType : ColMethod, rows);
    for (size_t arrival = 0; arrival < rows.size(); ++arrival) {
        const ListRow& row = rows[arrival];
        SortKey& key = keys[arrival];
        key.arrival = uint32_t(arrival);
        if (code == sorting::ByName) {
            key.primary = directed(uint64_t(names[arrival]), descending);
            key.second = paths[arrival];
            continue;
        }
        if (code == sorting::ByPath) {
            key.primary = directed(uint64_t(paths[arrival]), descending);
            key.second = names[arrival];
            continue;
        }
        uint64_t primary = 0;
        if (code == sorting::BySize)
            primary = row.size;
        else if (code == sorting::ByPacked)
            primary = row.packed;
        else if (code == sorting::ByRate)
            primary = unsignedOrder(row.rate);
        else
            primary = (*texts)[arrival];
        key.primary = directed(primary, descending);
        key.second = paths[arrival];
        key.third = directed(names[arrival], descending);
    }
    return keys;
}

} // namespace

const std::vector<uint32_t>& SortRanks::of(int column, const RowStore::Snapshot& rows) {
    if (rows.size() != rowCount_) {
        for (std::vector<uint32_t>& stale : ranks_)
            stale.clear();
        rowCount_ = rows.size();
    }
    std::vector<uint32_t>& ranks = ranks_[size_t(column)];
    if (ranks.size() != rows.size())
        ranks = denseRanks(rows, column);
    return ranks;
}

namespace sorting {

std::vector<int> sortedOrder(const RowStore::Snapshot& rows, const std::vector<int>& previous,
                             int code, bool descending, SortRanks& ranks) {
    std::vector<SortKey> keys = sortKeys(rows, code, descending, ranks);
    for (size_t place = 0; place < previous.size(); ++place)
        keys[size_t(previous[place])].previous = uint32_t(place);
    std::sort(keys.begin(), keys.end());
    std::vector<int> order;
    order.reserve(keys.size());
    for (const SortKey& key : keys)
        order.push_back(int(key.arrival));
    return order;
}

} // namespace sorting
