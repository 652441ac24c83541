// "Settings": temporary folder, open-when-done, rate display and clipboard monitor mode.
#pragma once

#include "ui/GreenDialog.h"

class MonitorLauncher;
class ProgramSettings;
class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;

class CSettingsDlg : public CGreenDialog {
public:
    enum {
        IDC_FOLDER = 1008,
        IDC_BROWSE = 1007,
        IDC_OPEN_WHEN_DONE = 1014,
        IDC_RATE_LEFT = 1020,
        IDC_RATE_COMPRESSED = 1019,
        IDC_DONT_MONITOR = 1036,
        IDC_MONITOR_OPEN = 1037,
        IDC_MONITOR_NOTIFY = 1038,
        IDC_OK = 1006
    };

    CSettingsDlg(ProgramSettings& settings, MonitorLauncher& launcher, QWidget* parent = nullptr);

    QLineEdit* folderField() const { return folder_; }
    QCheckBox* openWhenDoneBox() const { return openWhenDone_; }
    QButtonGroup* rateGroup() const { return rate_; }
    QButtonGroup* monitorGroup() const { return monitor_; }
    QPushButton* browseButton() const { return browse_; }

    void browse();
    void accept() override;

private:
    void buildControls();
    void fillControls();
    void applyFolder();
    void applyMonitorMode();

    ProgramSettings& settings_;
    MonitorLauncher& launcher_;
    QLineEdit* folder_;
    QPushButton* browse_;
    QCheckBox* openWhenDone_;
    QButtonGroup* rate_;
    QButtonGroup* monitor_;
};
