#include "ui/ListRow.h"

#include "jobs/EntryRow.h"

#include <QHash>

namespace {

QString fromString(const String& text) {
    return QString::fromUtf8(text.text());
}

int sign(int64_t value) {
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

int compareText(QStringView a, QStringView b) {
    return sign(a.compare(b));
}

template <typename T> int compareNumber(T a, T b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

int directed(int result, bool descending) {
    return descending ? -result : result;
}

// Types, methods, rates and folders repeat over thousands of rows: each distinct text and
// its folded key are kept once and shared by the rows, which saves memory and a fold per cell
// in a list of a million rows. The pool starts again when it grows past kMaxTexts.
class SharedTexts {
public:
    QString shared(const QString& text) {
        const auto found = texts_.constFind(text);
        if (found != texts_.constEnd())
            return found.key();
        limit();
        texts_.insert(text, text.toCaseFolded());
        return text;
    }
    QString folded(const QString& text) {
        const auto found = texts_.constFind(text);
        if (found != texts_.constEnd())
            return found.value();
        limit();
        return texts_.insert(text, text.toCaseFolded()).value();
    }

private:
    static constexpr qsizetype kMaxTexts = 4096;
    void limit() {
        if (texts_.size() >= kMaxTexts)
            texts_.clear();
    }
    QHash<QString, QString> texts_; // text → its case-folded key
};

SharedTexts& sharedTexts() {
    thread_local SharedTexts texts;
    return texts;
}

} // namespace

ListRow ListRow::fromEntry(const EntryRow& entry, uint32_t itemNumber) {
    return fromTexts({fromString(entry.name), fromString(entry.type), fromString(entry.size),
                      fromString(entry.rate), fromString(entry.packed), fromString(entry.path),
                      fromString(entry.method)},
                     entry.iconIndex, itemNumber);
}

ListRow ListRow::fromTexts(const std::array<QString, ColumnCount>& cells, int32_t iconIndex,
                           uint32_t itemNumber) {
    SharedTexts& texts = sharedTexts();
    ListRow row;
    row.cells = cells;
    for (int column : {ColType, ColRate, ColPath, ColMethod})
        row.cells[size_t(column)] = texts.shared(cells[size_t(column)]);
    row.iconIndex = iconIndex;
    row.itemNumber = itemNumber;
    row.size = sorting::numberValue(cells[ColSize]);
    row.packed = sorting::numberValue(cells[ColPacked]);
    row.rate = sorting::rateValue(cells[ColRate]);
    const QString pathKey = texts.folded(cells[ColPath]);
    row.pathNameKey = pathKey + cells[ColName].toCaseFolded();
    row.nameStart = pathKey.size();
    row.typeKey = texts.folded(cells[ColType]);
    row.methodKey = texts.folded(cells[ColMethod]);
    return row;
}

namespace sorting {

bool isValidCode(int code) {
    return code >= ByName && code <= ByMethod;
}

uint64_t numberValue(const QString& text) {
    uint64_t value = 0;
    for (QChar c : text) {
        if (c == ',')
            continue;
        if (!c.isDigit() || c.unicode() > '9')
            break;
        if (value > UINT64_MAX / 10 - 9)
            return UINT64_MAX; // longer than any size an archive can state
        value = value * 10 + uint64_t(c.unicode() - '0');
    }
    return value;
}

int64_t rateValue(const QString& text) {
    const qsizetype end = text.indexOf(" %");
    bool ok = false;
    const qlonglong value = (end < 0 ? text : text.left(end)).trimmed().toLongLong(&ok);
    return ok ? value : 0;
}

// The path and the name are compared only when the primary key leaves a tie: most
// comparisons of a sort end at the first key.
int compareRows(const ListRow& a, const ListRow& b, int code, bool descending) {
    const auto byPath = [&] { return compareText(a.pathKey(), b.pathKey()); };
    const auto byName = [&] { return compareText(a.nameKey(), b.nameKey()); };
    int primary = 0;
    switch (code) {
    case ByName:
        primary = directed(byName(), descending);
        return primary != 0 ? primary : byPath();
    case ByPath:
        primary = directed(byPath(), descending);
        return primary != 0 ? primary : byName();
    case ByType:
        primary = compareText(a.typeKey, b.typeKey);
        break;
    case BySize:
        primary = compareNumber(a.size, b.size);
        break;
    case ByRate:
        primary = compareNumber(a.rate, b.rate);
        break;
    case ByPacked:
        primary = compareNumber(a.packed, b.packed);
        break;
    case ByMethod:
        primary = compareText(a.methodKey, b.methodKey);
        break;
    default:
        return 0;
    }
    primary = directed(primary, descending);
    if (primary != 0)
        return primary;
    const int path = byPath();
    return path != 0 ? path : directed(byName(), descending);
}

} // namespace sorting
