// The order of the list's rows for a sort code. Comparing case-folded texts row against row
// is slow over a million rows, so each text column is turned into dense ranks once per list
// (equal texts share a rank, a greater text has a greater rank) and a sort compares integers
// only; sorting by another column or the other way reuses the ranks.
#pragma once

#include "ui/ListRow.h"
#include "ui/RowStore.h"

#include <array>
#include <cstdint>
#include <vector>

class SortRanks {
public:
    // The ranks of the folded texts of column ColName, ColType, ColPath or ColMethod, by
    // arrival number; worked out again when `rows` is not the row count last ranked.
    const std::vector<uint32_t>& of(int column, const RowStore::Snapshot& rows);

private:
    std::array<std::vector<uint32_t>, ColumnCount> ranks_;
    size_t rowCount_ = 0;
};

namespace sorting {

// The arrival numbers of `rows` in the order of sort code `code` (1 to 7). `previous` is the
// order the rows had (every arrival number once): rows equal by every key keep it, as a
// stable sort would. An unknown code leaves the order as it was.
std::vector<int> sortedOrder(const RowStore::Snapshot& rows, const std::vector<int>& previous,
                             int code, bool descending, SortRanks& ranks);

} // namespace sorting
