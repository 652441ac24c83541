#include "ui/Commands.h"

QAction* Commands::add(int id, const QString& text, std::function<void()> handler) {
    auto* action = new QAction(text, this);
    action->setData(id);
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
    actions_[id] = action;
    return action;
}

QAction* Commands::action(int id) const {
    const auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

bool Commands::trigger(int id) const {
    QAction* command = action(id);
    if (command == nullptr || !command->isEnabled())
        return false;
    command->trigger();
    return true;
}

void Commands::setEnabled(int id, bool enabled) const {
    if (QAction* command = action(id))
        command->setEnabled(enabled);
}

void Commands::setChecked(int id, bool checked) const {
    if (QAction* command = action(id)) {
        command->setCheckable(true);
        command->setChecked(checked);
    }
}
