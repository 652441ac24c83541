// The settings a job reads. Taken from the settings record on the user-interface thread when
// the job is started, so that a worker never reads the record while the Settings dialog
// writes it.
#pragma once

#include "app/String.h"

#include <functional>

struct JobSettings {
    String tmpFolder;
    bool openWhenDone = false;
    bool winzipRate = true;
};

using JobSettingsProvider = std::function<JobSettings()>;

// Reads the process's settings record.
JobSettings programJobSettings();
