#include "jobs/JobSettings.h"

#include "app/settings/ProgramSettings.h"

JobSettings programJobSettings() {
    const ProgramSettings& settings = programSettings();
    JobSettings taken;
    taken.tmpFolder = settings.tmpFolder;
    taken.openWhenDone = settings.openWhenDone;
    taken.winzipRate = settings.winzipRate;
    return taken;
}
