// One row of the archive list as the viewer keeps it, with the numbers and the folded texts
// that sorting and the filter need taken out of the texts once, when the row arrives.
#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>

struct EntryRow;

enum ListColumn {
    ColName = 0,
    ColType,
    ColSize,
    ColRate,
    ColPacked,
    ColPath,
    ColMethod,
    ColumnCount
};

struct ListRow {
    std::array<QString, ColumnCount> cells;
    int32_t iconIndex = -1;
    uint32_t itemNumber = 0;
    uint64_t size = 0;
    uint64_t packed = 0;
    int64_t rate = 0;
    // Case-folded path followed by the case-folded name: the filter searches it whole, so a
    // text that runs from the folder into the name ("docs/gu") is found too.
    QString pathNameKey;
    qsizetype nameStart = 0; // where the name begins in pathNameKey
    QString typeKey;
    QString methodKey;

    QStringView pathKey() const { return QStringView(pathNameKey).left(nameStart); }
    QStringView nameKey() const { return QStringView(pathNameKey).mid(nameStart); }

    static ListRow fromEntry(const EntryRow& entry, uint32_t itemNumber);
    static ListRow fromTexts(const std::array<QString, ColumnCount>& cells, int32_t iconIndex,
                             uint32_t itemNumber);
};

namespace sorting {

// Sort codes as the settings store keeps them: the column number plus one.
enum Code { ByName = 1, ByType, BySize, ByRate, ByPacked, ByPath, ByMethod };

bool isValidCode(int code);
// "1,234,567" → 1234567 (the separators are ignored; what follows the digits is ignored).
uint64_t numberValue(const QString& text);
// "-3 %" → -3: the signed whole number before " %".
int64_t rateValue(const QString& text);
// Negative, zero or positive as `a` sorts before, with or after `b`.
int compareRows(const ListRow& a, const ListRow& b, int code, bool descending);

} // namespace sorting
