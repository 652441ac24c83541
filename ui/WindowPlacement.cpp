#include "ui/WindowPlacement.h"

#include "app/settings/ProgramSettings.h"
#include "app/settings/RegistryKey.h"

#include <QWidget>
#include <QtEndian>

#include <array>

namespace {

constexpr const char* kValueName = "wstatus";

std::array<int32_t, 11> fieldsOf(const WindowPlacement& placement) {
    const QRect& r = placement.normal;
    return {WindowPlacement::RecordBytes,
            0,
            placement.showState,
            -1,
            -1,
            -1,
            -1,
            r.left(),
            r.top(),
            r.right() + 1,
            r.bottom() + 1};
}

} // namespace

QByteArray WindowPlacement::toRecord() const {
    QByteArray record(RecordBytes, '\0');
    const auto fields = fieldsOf(*this);
    for (size_t i = 0; i < fields.size(); ++i)
        qToLittleEndian<int32_t>(fields[i], record.data() + 4 * i);
    return record;
}

std::optional<WindowPlacement> WindowPlacement::fromRecord(const QByteArray& record) {
    if (record.size() != RecordBytes)
        return std::nullopt;
    auto field = [&](int i) { return qFromLittleEndian<int32_t>(record.constData() + 4 * i); };
    if (field(0) != RecordBytes)
        return std::nullopt;
    WindowPlacement placement;
    placement.showState = field(2);
    placement.normal = QRect(QPoint(field(7), field(8)), QPoint(field(9) - 1, field(10) - 1));
    if (!placement.normal.isValid())
        return std::nullopt;
    return placement;
}

WindowPlacement WindowPlacement::of(const QWidget& window) {
    WindowPlacement placement;
    placement.showState = window.isMaximized()   ? Maximised
                          : window.isMinimized() ? Minimised
                                                 : Normal;
    placement.normal =
        window.isMaximized() || window.isMinimized() ? window.normalGeometry() : window.geometry();
    if (!placement.normal.isValid())
        placement.normal = window.geometry();
    return placement;
}

void WindowPlacement::applyTo(QWidget& window) const {
    window.setGeometry(normal);
    if (showState == Maximised)
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

bool WindowPlacement::save(const QWidget& window) {
    const QByteArray record = of(window).toRecord();
    RegistryKey key;
    if (!key.open(programSettings().settingsPath.text(), true))
        return false;
    const bool written = key.setValue(kValueName, REG_BINARY, record.constData(), RecordBytes);
    key.close();
    return written;
}

bool WindowPlacement::restore(QWidget& window) {
    RegistryKey key;
    if (!key.open(programSettings().settingsPath.text(), false))
        return false;
    QByteArray record(RecordBytes, '\0');
    uint32_t type = 0;
    uint32_t size = RecordBytes;
    const bool read = key.queryValue(kValueName, &type, record.data(), &size);
    key.close();
    if (!read || size != RecordBytes)
        return false;
    const auto placement = fromRecord(record);
    if (!placement)
        return false;
    placement->applyTo(window);
    return true;
}
