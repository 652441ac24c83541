// The monitor's view of the settings store: only the mode, re-read where a viewer may have
// changed it and saved at once when the tray menu changes it.
#pragma once

class ProgramSettings;

namespace monitor {

class MonitorSettings {
public:
    virtual ~MonitorSettings() = default;
    virtual int mode() const = 0;
    virtual int reloadMode() = 0;
    virtual void saveMode(int mode) = 0;
};

// Over the process's settings record.
class ProgramMonitorSettings : public MonitorSettings {
public:
    explicit ProgramMonitorSettings(ProgramSettings& settings) : settings_(settings) {}
    int mode() const override;
    int reloadMode() override;
    void saveMode(int mode) override;

private:
    ProgramSettings& settings_;
};

} // namespace monitor
