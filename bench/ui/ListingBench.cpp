// The viewer's list of a big archive served by nginx on loopback, one display type per run:
// the time from Open to the last row shown and to the list shown in its sort order (a long
// list sorts on a worker thread), the longest pause of the event loop meanwhile (a 1 ms timer
// measures the gaps between its ticks), the slowest of three column sorts and the longest
// pause during them, the
// slowest keystroke in the filter field, the longest pause after switching to the next
// display type and the peak memory of the process. Prints one line of the table that
// bench/ui.sh puts together.
// Usage: mg_ui_bench [ENTRIES] [table|large|small|list]
// Build: cmake --build <dir> --target mg_ui_bench.
// With MG_BENCH_PROBE=MS set, every event that takes at least MS milliseconds is printed on
// standard error with its receiver's class and the event's type: where a pause comes from.
#include "NginxServer.h"
#include "UiTestSupport.h"

#include "remote/RemoteArchiveSource.h"
#include "ui/CommandIds.h"
#include "ui/Commands.h"
#include "ui/EntryListModel.h"
#include "ui/MarrowglenApp.h"
#include "ui/MarrowglenView.h"
#include "ui/Prompts.h"
#include "ui/UrlBar.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/resource.h>

namespace {

// Times every event it delivers; prints the slow ones.
class ProbingApplication : public QApplication {
public:
    ProbingApplication(int& argc, char** argv, qint64 thresholdMs)
        : QApplication(argc, argv), thresholdMs_(thresholdMs) {}

    bool notify(QObject* receiver, QEvent* event) override {
        if (thresholdMs_ <= 0)
            return QApplication::notify(receiver, event);
        QElapsedTimer clock;
        clock.start();
        const QEvent::Type type = event->type(); // the event may be gone afterwards
        const char* receiverClass = receiver->metaObject()->className();
        const bool result = QApplication::notify(receiver, event);
        const qint64 took = clock.elapsed();
        if (took >= thresholdMs_)
            std::fprintf(stderr, "probe: %lld ms event %d to %s\n", static_cast<long long>(took),
                         int(type), receiverClass);
        return result;
    }

private:
    qint64 thresholdMs_;
};

// The archive of `entries` files in 300 folders, made once and kept in the bench folder.
std::string bigArchive(const std::string& folder, int entries) {
    const std::string path = folder + "/big-" + std::to_string(entries) + ".zip";
    if (std::filesystem::exists(path))
        return path;
    const std::string script =
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1] + '.part', 'w') as z:\n"
        "    for i in range(int(sys.argv[2])):\n"
        "        z.writestr('dir%03d/file%07d.txt' % (i % 300, i), b'x' * (i % 50))\n";
    mgtest::writeFile(folder + "/make.py", script);
    const auto result = mgtest::runCommand(
        {mgtest::DebianPython, folder + "/make.py", path, std::to_string(entries)});
    if (result.exitCode != 0) {
        std::fprintf(stderr, "%s\n", result.output.c_str());
        std::exit(1);
    }
    std::filesystem::rename(path + ".part", path);
    return path;
}

int displayCommand(const std::string& name) {
    if (name == "large")
        return ID_VIEW_LARGE_ICONS;
    if (name == "small")
        return ID_VIEW_SMALL_ICONS;
    if (name == "list")
        return ID_VIEW_LIST;
    return ID_VIEW_TABLE;
}

std::string nextDisplay(const std::string& name) {
    if (name == "table")
        return "large";
    if (name == "large")
        return "small";
    if (name == "small")
        return "list";
    return "table";
}

// The longest gap between the ticks of a 1 ms timer since the last reset.
class PauseMeter {
public:
    PauseMeter() {
        ticker_.setInterval(1);
        QObject::connect(&ticker_, &QTimer::timeout, [this] {
            const qint64 now = clock_.elapsed();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
        clock_.start();
        ticker_.start();
    }
    void reset() {
        last_ = clock_.elapsed();
        longest_ = 0;
    }
    qint64 longest() const { return longest_; }

private:
    QTimer ticker_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};

// Milliseconds `action` and the repaint it asks for take.
template <typename Action> qint64 timed(Action action) {
    QElapsedTimer clock;
    clock.start();
    action();
    QApplication::processEvents();
    return clock.elapsed();
}

// Runs the event loop as the program does (QTest's waits sleep 10 ms between passes, which
// would hold back every call the list job waits for) until `done` holds.
bool runUntil(const std::function<bool()>& done, int timeoutMs) {
    QEventLoop loop;
    QTimer check;
    check.setInterval(1);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, [&] { loop.exit(1); });
    check.start();
    return done() || loop.exec() == 0;
}

long peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

} // namespace

int main(int argc, char** argv) {
    mgtest::prepareTestEnvironment();
    const char* probe = std::getenv("MG_BENCH_PROBE");
    ProbingApplication app(argc, argv, probe != nullptr ? std::atoll(probe) : 0);
    initMarrowglenResources();
    prompts::setAutomatic(true);
    const int entries = argc > 1 ? std::atoi(argv[1]) : 65535;
    const std::string display = argc > 2 ? argv[2] : "table";
    const char* benchDir = std::getenv("BENCH_DIR");
    const std::string folder = benchDir != nullptr ? benchDir : "/tmp/marrowglen-ui-bench";
    std::filesystem::create_directories(folder + "/www");
    const std::string archive = bigArchive(folder, entries);
    std::filesystem::copy_file(archive, folder + "/www/big.zip",
                               std::filesystem::copy_options::overwrite_existing);
    mgtest::NginxServer server(folder + "/www");

    uitest::SettingsScope scope;
    RemoteArchiveSource source;
    CZipDoc doc(source);
    uitest::RecordingOpener opener;
    uitest::RecordingLauncher launcher;
    QtFileTypes fileTypes(":/marrowglen/file32.png");
    doc.setDesktopOpener(&opener);
    doc.setFileTypeLookup(&fileTypes);
    doc.onNewDocument();
    CMainFrame frame(doc, programSettings(), launcher);
    frame.view().setIconLookup([&](const std::string& key) { return fileTypes.icon(key); });
    frame.resize(900, 600);
    frame.show();
    frame.commands().trigger(displayCommand(display));
    CMarrowglenView& view = frame.view();
    runUntil([&] { return frame.isVisible(); }, 10000);

    PauseMeter pauses;
    QElapsedTimer clock;
    clock.start();
    frame.urlBar().edit()->setText(QString::fromStdString(server.httpUrl("/big.zip")));
    frame.openFromUrlBar();
    const bool listed = runUntil(
        [&] {
            return !doc.anyJobRunning() && view.itemCount() == entries &&
                   frame.commands().action(ID_FILE_CLOSE)->isEnabled();
        },
        600000);
    view.currentView().scrollToBottom();
    QApplication::processEvents();
    const qint64 openToLast = clock.elapsed();
    const auto sorted = [&] { return !view.model().sortPending(); };
    runUntil(sorted, 60000);
    const qint64 openToSorted = clock.elapsed();
    const qint64 listingPause = pauses.longest();

    // From the click to the new order shown.
    qint64 slowestSort = 0;
    pauses.reset();
    for (int column : {ColSize, ColPath, ColName})
        slowestSort = std::max(slowestSort, timed([&] {
                                   view.headerClicked(column);
                                   runUntil(sorted, 60000);
                               }));
    const qint64 sortPause = pauses.longest();

    // The filter field, where the viewer has one: a keystroke at a time, as a person types.
    qint64 slowestKey = -1;
    int filtered = -1;
    if (auto* filter = frame.findChild<QLineEdit*>("listFilter")) {
        filter->setFocus();
        for (QChar c : QString("file00123"))
            slowestKey =
                std::max(slowestKey, timed([&] { QTest::keyClick(filter, c.toLatin1()); }));
        filtered = view.itemCount();
        slowestKey = std::max(slowestKey, timed([&] { QTest::keyClick(filter, Qt::Key_Escape); }));
    }

    // Switching to the next display type: the longest pause while the new view lays out.
    pauses.reset();
    frame.commands().trigger(displayCommand(nextDisplay(display)));
    QElapsedTimer settling;
    settling.start();
    runUntil([&] { return settling.elapsed() >= 1000; }, 5000);
    const qint64 switchPause = pauses.longest();

    std::printf("%-6s | %9d | %8lld | %8lld | %8lld | %8lld | %8lld | %9s | %8s | %8lld | %6ld%s\n",
                display.c_str(), entries, static_cast<long long>(openToLast),
                static_cast<long long>(openToSorted), static_cast<long long>(listingPause),
                static_cast<long long>(slowestSort), static_cast<long long>(sortPause),
                slowestKey < 0 ? "-" : std::to_string(slowestKey).c_str(),
                filtered < 0 ? "-" : std::to_string(filtered).c_str(),
                static_cast<long long>(switchPause), peakMiB(), listed ? "" : "  (incomplete)");
    doc.finishJobsForExit();
    return listed ? 0 : 1;
}
