// Keeps the main window's placement between runs: a 44-byte record (length, flags, show
// state, minimised and maximised positions, normal rectangle; little-endian 32-bit fields)
// in the value "wstatus" of the program's Settings key.
#pragma once

#include <QByteArray>
#include <QRect>

#include <optional>

class QWidget;

struct WindowPlacement {
    static constexpr int RecordBytes = 44;
    enum ShowState { Normal = 1, Minimised = 2, Maximised = 3 };

    int showState = Normal;
    QRect normal;

    QByteArray toRecord() const;
    // Nothing for a record of any other size or with a wrong length field.
    static std::optional<WindowPlacement> fromRecord(const QByteArray& record);

    static WindowPlacement of(const QWidget& window);
    void applyTo(QWidget& window) const;

    // The store: the program's Settings key, value "wstatus".
    static bool save(const QWidget& window);
    // False (and the window untouched) when no well-formed placement is stored.
    static bool restore(QWidget& window);
};
