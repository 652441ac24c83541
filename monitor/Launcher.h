// Starting a new process of this program: a viewer on a link (the monitor) or a new monitor
// (the Settings dialog). Behind an interface so that tests record launches instead.
#pragma once

#include <QString>
#include <QStringList>

namespace monitor {

class Launcher {
public:
    virtual ~Launcher() = default;
    // Starts the program with `parameter` as its one argument (none when empty). The result
    // is only a hint: a launch that fails is not reported to the user.
    virtual bool launchSelf(const QString& parameter) = 0;
};

// The real launcher: the running executable, detached, the parameter unquoted and whole.
class ProcessLauncher : public Launcher {
public:
    bool launchSelf(const QString& parameter) override;
};

// The path of the running executable.
QString selfExecutable();

} // namespace monitor
