// Lists an archive of 65,535 entries in the Table view and reports the time from Open to the
// last row shown and the longest pause of the event loop meanwhile (a 1 ms timer measures
// the gaps between its ticks). Build: cmake --build <dir> --target mg_ui_bench.
#include "UiTestSupport.h"

#include "ui/EntryViews.h"
#include "ui/MarrowglenApp.h"
#include "ui/MarrowglenView.h"
#include "ui/Prompts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

namespace {

std::vector<unsigned char> bigArchive(int entries) {
    mgtest::TempDir dir("mgbench");
    const std::string script =
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    for i in range(int(sys.argv[2])):\n"
        "        z.writestr('dir%03d/file%05d.txt' % (i % 300, i), b'x' * (i % 50))\n";
    mgtest::writeFile(dir.file("make.py"), script);
    const auto result = mgtest::runCommand(
        {mgtest::DebianPython, dir.file("make.py"), dir.file("big.zip"), std::to_string(entries)});
    if (result.exitCode != 0) {
        std::fprintf(stderr, "%s\n", result.output.c_str());
        std::exit(1);
    }
    const std::string bytes = mgtest::readFile(dir.file("big.zip"));
    return {bytes.begin(), bytes.end()};
}

} // namespace

int main(int argc, char** argv) {
    mgtest::prepareTestEnvironment();
    QApplication app(argc, argv);
    initMarrowglenResources();
    prompts::setAutomatic(true);
    const int kEntries = argc > 1 ? std::atoi(argv[1]) : 65535;
    uitest::Viewer viewer(bigArchive(kEntries));
    viewer.frame->resize(900, 600);

    QElapsedTimer clock;
    qint64 lastTick = 0;
    qint64 longestPause = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longestPause = std::max(longestPause, now - lastTick);
        lastTick = now;
    });
    clock.start();
    ticker.start();
    const bool listed =
        viewer.openAndList("http://127.0.0.1/big.zip") &&
        uitest::waitFor([&] { return viewer.frame->view().itemCount() == kEntries; }, 120000);
    viewer.frame->view().table().scrollToBottom();
    QApplication::processEvents();
    const qint64 total = clock.elapsed();
    ticker.stop();
    std::printf("entries listed: %d%s\nopen to last row shown: %lld ms\n"
                "longest event-loop pause: %lld ms\n",
                viewer.frame->view().itemCount(), listed ? "" : " (incomplete)",
                static_cast<long long>(total), static_cast<long long>(longestPause));
    return listed ? 0 : 1;
}
