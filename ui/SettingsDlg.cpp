#include "ui/SettingsDlg.h"

#include "app/String.h"
#include "app/settings/ProgramSettings.h"
#include "ui/MonitorLauncher.h"
#include "ui/Prompts.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

CSettingsDlg::CSettingsDlg(ProgramSettings& settings, MonitorLauncher& launcher, QWidget* parent)
    : CGreenDialog(parent, "Settings", 215, 183), settings_(settings), launcher_(launcher) {
    buildControls();
    settings_.reloadMonitorMode(); // a monitor may have changed it since this viewer started
    fillControls();
}

void CSettingsDlg::buildControls() {
    addStatic("Folder for temporary files:", 7, 7, 200, 8);
    folder_ = new QLineEdit(this);
    keepSystemColours(folder_);
    place(folder_, 7, 18, 181, 12);
    browse_ = addButton("...", 191, 18, 17, 12);
    connect(browse_, &QPushButton::clicked, this, &CSettingsDlg::browse);

    addStatic("When finished downloading:", 7, 37, 200, 8);
    openWhenDone_ = new QCheckBox("open the zip file in default archiver", this);
    place(openWhenDone_, 14, 48, 194, 10);

    addStatic("Display compression rate as:", 7, 65, 200, 8);
    rate_ = new QButtonGroup(this);
    const char* rateTexts[] = {"percent left of original size", "percent compressed"};
    for (int i = 0; i < 2; ++i) {
        auto* radio = new QRadioButton(rateTexts[i], this);
        place(radio, 14, 76 + 11 * i, 194, 10);
        rate_->addButton(radio, i);
    }

    addStatic("Monitor clipboard for links to remote Zip files:", 7, 103, 200, 8);
    monitor_ = new QButtonGroup(this);
    const char* monitorTexts[] = {"don't monitor", "monitor and open immediately in Marrowglen",
                                  "monitor and notify me when Marrowglen can be launched"};
    for (int i = 0; i < 3; ++i) {
        auto* radio = new QRadioButton(monitorTexts[i], this);
        place(radio, 14, 114 + 11 * i, 194, 10);
        monitor_->addButton(radio, i);
    }

    addSunkenLine(7, 155, 201);
    connect(addButton("OK", 102, 162, 50, 14, true), &QPushButton::clicked, this,
            &CSettingsDlg::accept);
    connect(addButton("Cancel", 158, 162, 50, 14), &QPushButton::clicked, this,
            &CSettingsDlg::reject);
    fitTexts();
}

void CSettingsDlg::fillControls() {
    folder_->setText(QString::fromUtf8(settings_.tmpFolder.text()));
    openWhenDone_->setChecked(settings_.openWhenDone);
    if (QAbstractButton* rate = rate_->button(settings_.winzipRate ? 1 : 0))
        rate->setChecked(true);
    if (QAbstractButton* mode = monitor_->button(settings_.monitorMode - 1))
        mode->setChecked(true);
}

void CSettingsDlg::browse() {
    const QString chosen = prompts::chooseFolder(this, "Select temporary folder", folder_->text());
    if (!chosen.isEmpty())
        folder_->setText(chosen);
}

void CSettingsDlg::accept() {
    applyFolder();
    settings_.openWhenDone = openWhenDone_->isChecked();
    settings_.winzipRate = rate_->checkedId() == 1;
    applyMonitorMode();
    QDialog::accept();
}

void CSettingsDlg::applyFolder() {
    const QByteArray typed = folder_->text().toUtf8();
    settings_.tmpFolder = String(typed.constData());
    createFolderPath(nullptr, settings_.tmpFolder.text());
    if (!folderExists(settings_.tmpFolder, true))
        settings_.tmpFolder = defaultTemporaryFolder();
}

void CSettingsDlg::applyMonitorMode() {
    const int oldMode = settings_.monitorMode;
    const int chosen = monitor_->checkedId();
    settings_.monitorMode = chosen < 0 ? oldMode : chosen + 1;
    if (settings_.monitorMode == oldMode)
        return; // the rest reaches the store when the viewer exits
    settings_.saveSettings();
    launcher_.stopRunningMonitor();
    if (settings_.monitorMode == 2 || settings_.monitorMode == 3)
        launcher_.startMonitor();
}
