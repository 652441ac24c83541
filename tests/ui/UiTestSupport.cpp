#include "UiTestSupport.h"

#include "ui/CommandIds.h"
#include "ui/Commands.h"
#include "ui/MarrowglenView.h"
#include "ui/Prompts.h"
#include "ui/UrlBar.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <stdexcept>

namespace uitest {

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

std::vector<unsigned char> makeZip(const std::map<std::string, std::string>& files) {
    mgtest::TempDir dir("mgui-zip");
    std::vector<std::string> argv = {"zip", "-q", "-X", "archive.zip"};
    for (const auto& [name, content] : files) {
        const std::string path = dir.file(name);
        mgtest::runCommand({"mkdir", "-p", path.substr(0, path.rfind('/'))});
        mgtest::writeFile(path, content);
        argv.push_back(name);
    }
    const auto result = mgtest::runCommand(argv, dir.path());
    if (result.exitCode != 0)
        throw std::runtime_error("zip failed: " + result.output);
    const std::string bytes = mgtest::readFile(dir.file("archive.zip"));
    return {bytes.begin(), bytes.end()};
}

ModalDriver::ModalDriver(std::function<void(QWidget& modal)> act) {
    prompts::setAutomatic(false);
    timer_.setInterval(20);
    // Each window is handed over once; a window that stays up (a dialog behind its own
    // question) is handed over again when it is on top once more. The action runs from its
    // own event, as it may open a window with an event loop of its own.
    QObject::connect(&timer_, &QTimer::timeout, [this, act = std::move(act)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == last_.data() || modal == nullptr || !modal->isVisible())
            return;
        last_ = modal;
        QPointer<QWidget> target(modal);
        QTimer::singleShot(0, modal, [act, target] {
            if (target)
                act(*target);
        });
    });
    timer_.start();
}

ModalDriver::~ModalDriver() {
    prompts::setAutomatic(true);
}

bool RecordingSource::connect(String& address) {
    {
        std::lock_guard lock(mutex_);
        lastAddress_ = address.str();
    }
    return MemorySource::connect(address);
}

bool RecordingSource::requestRange(int64_t first, int64_t last, bool reopenFirst) {
    {
        std::unique_lock lock(mutex_);
        if (holdNext_) {
            holdNext_ = false;
            held_ = true;
            changed_.wait(lock, [this] { return releasedHold_; });
            held_ = false;
        }
    }
    return MemorySource::requestRange(first, last, reopenFirst);
}

void RecordingSource::holdNextRange() {
    std::lock_guard lock(mutex_);
    holdNext_ = true;
    releasedHold_ = false;
}

void RecordingSource::release() {
    {
        std::lock_guard lock(mutex_);
        releasedHold_ = true;
    }
    changed_.notify_all();
}

void RecordingSource::setTemporaryFolder(const std::string& folder) {
    std::lock_guard lock(mutex_);
    temporaryFolder_ = folder;
}

std::string RecordingSource::temporaryFolder() const {
    std::lock_guard lock(mutex_);
    return temporaryFolder_;
}

std::string RecordingSource::lastAddress() const {
    std::lock_guard lock(mutex_);
    return lastAddress_;
}

SettingsScope::SettingsScope() : saved_(programSettings()) {
    ProgramSettings& settings = programSettings();
    settings.setDefaults();
    settings.tmpFolder = String(tmp_.path().c_str());
    prompts::clearRecords();
}

SettingsScope::~SettingsScope() {
    programSettings() = saved_;
    prompts::clearRecords();
}

Viewer::Viewer(std::vector<unsigned char> archive, const std::function<void()>& prepare)
    : source(std::move(archive)), doc(source) {
    if (prepare)
        prepare();
    doc.setDesktopOpener(&opener);
    doc.setFileTypeLookup(&fileTypes);
    doc.onNewDocument();
    frame = std::make_unique<CMainFrame>(doc, programSettings(), launcher);
    frame->view().setIconLookup([this](const std::string& key) { return fileTypes.icon(key); });
    frame->show();
}

Viewer::~Viewer() {
    source.release();
    doc.finishJobsForExit();
    frame.reset();
}

bool Viewer::openAndList(const QString& typed) {
    frame->urlBar().edit()->setText(typed);
    frame->openFromUrlBar();
    // Enabled commands tell that the frame has seen the jobs end.
    return waitFor([this] {
        return jobsIdle() && frame->view().itemCount() > 0 &&
               frame->commands().action(ID_FILE_CLOSE)->isEnabled();
    });
}

} // namespace uitest
