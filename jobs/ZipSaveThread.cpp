// The save job: the whole archive into a local file, one range request per 32768 bytes. A
// save that ends before the archive's length has arrived is a failure naming the file.
#include "app/String.h"
#include "jobs/JobView.h"
#include "jobs/ZipDoc.h"
#include "platform/DesktopServices.h"
#include "remote/ArchiveSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { close(); }
    bool isValid() const { return fd_ >= 0; }
    int get() const { return fd_; }
    // False when the data could not be written out.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

String withSeparators(uint64_t value) {
    String text(std::to_string(value));
    insertThousandsSeparators(text);
    return text;
}

} // namespace

bool ZipSaveThread::start(String path, JobSettings settings) {
    return Thread::start([this, path = std::move(path), settings = std::move(settings)] {
        return run(path, settings);
    });
}

int ZipSaveThread::run(const String& path, const JobSettings& settings) {
    if (!waitUntilUiReady())
        return 0;
    ArchiveSource& source = doc_.source();
    IProgress& bar = progress();
    const int64_t length = source.length();
    bar.setPos(0);
    send(WM_JOB_STARTED);
    // Beyond 64 TiB the bar would need a coarser scale; no archive served is that large.
    bar.setRange32(0, static_cast<int32_t>(std::clamp<int64_t>(length / chunkSize, 0, INT32_MAX)));
    bar.setPos(0);
    bar.setStep(1);

    FileDescriptor file(::open(path.text(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!file.isValid()) {
        MessageBoxRequest box{cannotCreateText,   "Error",  MessageIcon::Warning,
                              MessageButtons::Ok, AnswerOk, MessageOwner::MainWindow};
        view().messageBox(box);
        send(WM_JOB_ENDED);
        return 0;
    }

    std::optional<std::string> failure;
    if (length < 0)
        failure = "the server does not tell the archive's length";
    RangeStream** slot = doc_.archive().storage().fileSlot();
    std::vector<char> buffer(chunkSize);
    int64_t sum = 0;
    // Several parts at once where the source can; the bar moves by the bytes written.
    const std::optional<bool> copied =
        failure ? std::nullopt : source.copyWhole(file.get(), [&](int64_t done) {
            bar.setPos(static_cast<int32_t>(done / chunkSize));
            return !isStopRequested();
        });
    if (copied && *copied)
        sum = length;
    if (copied && !*copied) {
        // Parts arrive out of order: what stands on disk has holes and must not look like
        // the archive.
        ::unlink(path.text());
        if (!isStopRequested())
            failure =
                source.errorText().empty() ? "the server stopped serving" : source.errorText();
    }
    while (!copied && !failure && sum < length) {
        if (isStopRequested()) {
            send(WM_JOB_ENDED); // the part already written stays; the user asked for this
            return 0;
        }
        size_t got = 0;
        try {
            if (source.requestRange(sum, sum + chunkSize, true) && *slot != nullptr)
                got = (*slot)->read(buffer.data(), buffer.size());
        } catch (const std::exception& e) {
            failure = e.what();
            break;
        } catch (...) {
            failure = "the server could not be read";
            break;
        }
        bar.stepIt();
        if (got == 0)
            break;
        if (!writeAllBytes(file.get(), buffer.data(), got)) {
            failure = std::string("the file could not be written (") + std::strerror(errno) + ")";
            break;
        }
        sum += static_cast<int64_t>(got);
    }
    if (isStopRequested()) {
        send(WM_JOB_ENDED); // cancelled while a transfer was in flight
        return 0;
    }
    if (!file.close() && !failure)
        failure = std::string("the file could not be written (") + std::strerror(errno) + ")";
    if (!failure && sum < length)
        failure = "the server sent " + withSeparators(static_cast<uint64_t>(sum)).str() + " of " +
                  withSeparators(static_cast<uint64_t>(length)).str() + " bytes";
    if (failure) {
        send(WM_JOB_ENDED);
        MessageBoxRequest box{
            String("The archive could not be saved to \"" + path.str() + "\": " + *failure + "."),
            "Error",
            MessageIcon::Warning,
            MessageButtons::Ok,
            AnswerOk,
            MessageOwner::MainWindow};
        view().messageBox(box);
        return 0;
    }

    if (settings.openWhenDone && doc_.desktopOpener() != nullptr)
        doc_.desktopOpener()->openLocalFile(path.str());
    send(WM_JOB_ENDED);
    if (!settings.openWhenDone)
        view().messageBox({completeText, "Marrowglen", MessageIcon::Information, MessageButtons::Ok,
                           AnswerOk, MessageOwner::View});
    return 0;
}
