// The viewer's commands by id: one action each, shared by the menu bar, the tool bar and the
// context menus, so that enabling and check marks are set in one place.
#pragma once

#include <QAction>
#include <QObject>

#include <functional>
#include <map>

class Commands : public QObject {
public:
    explicit Commands(QObject* parent = nullptr) : QObject(parent) {}

    QAction* add(int id, const QString& text, std::function<void()> handler);
    // Null for an id that was never added.
    QAction* action(int id) const;
    // Runs the command as a click would, when it is enabled. False otherwise.
    bool trigger(int id) const;
    void setEnabled(int id, bool enabled) const;
    void setChecked(int id, bool checked) const;

private:
    std::map<int, QAction*> actions_;
};
