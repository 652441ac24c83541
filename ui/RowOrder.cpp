#include "ui/RowOrder.h"

#include <QHash>

#include <algorithm>
#include <numeric>
#include <optional>
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

// Folders, types and methods repeat over many rows: the distinct texts are ranked and each
// row looks its text up, which is far quicker than sorting a million texts that are mostly
// equal. Gives up (nothing) when the texts turn out to be mostly distinct.
std::optional<std::vector<uint32_t>> ranksOfRepeatedTexts(const RowStore::Snapshot& rows,
                                                          int column) {
    const size_t maxDistinct = std::max<size_t>(1024, rows.size() / 16);
    QHash<QStringView, uint32_t> slotOf;
    std::vector<QStringView> distinct;
    std::vector<uint32_t> ranks(rows.size());
    for (size_t arrival = 0; arrival < rows.size(); ++arrival) {
        const QStringView text = foldedText(rows[arrival], column);
        auto found = slotOf.constFind(text);
        if (found == slotOf.constEnd()) {
            if (distinct.size() == maxDistinct)
                return std::nullopt;
            found = slotOf.insert(text, uint32_t(distinct.size()));
            distinct.push_back(text);
        }
        ranks[arrival] = found.value();
    }
    std::vector<uint32_t> byText(distinct.size());
    std::iota(byText.begin(), byText.end(), 0u);
    std::sort(byText.begin(), byText.end(),
              [&](uint32_t a, uint32_t b) { return distinct[a].compare(distinct[b]) < 0; });
    std::vector<uint32_t> rankOfSlot(distinct.size());
    for (size_t rank = 0; rank < byText.size(); ++rank)
        rankOfSlot[byText[rank]] = uint32_t(rank);
    for (uint32_t& rank : ranks)
        rank = rankOfSlot[rank];
    return ranks;
}

std::vector<uint32_t> denseRanks(const RowStore::Snapshot& rows, int column) {
    if (column != ColName)
        if (std::optional<std::vector<uint32_t>> ranks = ranksOfRepeatedTexts(rows, column))
            return std::move(*ranks);
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
