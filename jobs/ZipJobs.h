// The four worker jobs of the document: open, list, extract and save. Each runs at most one
// thread at a time and talks to the user interface only through the document's view and
// progress interfaces.
#pragma once

#include "app/String.h"
#include "jobs/ExtractRequest.h"
#include "jobs/JobSettings.h"
#include "jobs/Thread.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class CZipDoc;
class IJobView;
class IProgress;

class ZipJob : public Thread {
public:
    explicit ZipJob(CZipDoc& doc) : doc_(doc) {}

protected:
    // Waits until the user interface is ready and the document open; false when the job was
    // asked to stop meanwhile.
    bool waitUntilUiReady();
    IJobView& view();
    IProgress& progress();
    void send(uint32_t id, String wText = {}, String lText = {});
    CZipDoc& doc_;
};

// Opens the archive at an address and, on success, has the views list it.
class ZipOpenThread : public ZipJob {
public:
    using ZipJob::ZipJob;
    bool start(String address);

    static constexpr const char* unsupportedServerText =
        "Previewing the contents of this Zip file is not supported by the remote server.\n"
        "Please find a mirror on another server to preview this file.";
    static constexpr const char* unavailableText =
        "The file is unavaliable. Please check if your computer is connected to the Internet.";
    static constexpr const char* localFileText = "The zip file cannot be opened.";

private:
    int run(const String& address);
    void reportFailure(bool damaged, bool localFile = false);
};

// Turns every file entry into a row of the view.
class ZipListThread : public ZipJob {
public:
    using ZipJob::ZipJob;
    bool start(IJobView& view);

    // Rows go to the view in batches of at most this many, or what this time gathered.
    static constexpr size_t rowBatch = 4096;
    static constexpr std::chrono::milliseconds rowDelay{50};

private:
    int run(IJobView& view);
};

// What the last extraction did, for whoever started it: read it once the job has ended.
struct ExtractOutcome {
    bool cancelled = false;
    size_t failures = 0;
    std::vector<std::string> written; // local paths, in the order of the request
};

// Tests and extracts chosen entries; a preview is this job writing into the temporary folder
// and opening what it wrote.
class ZipExtractThread : public ZipJob {
public:
    using ZipJob::ZipJob;
    bool start(ExtractRequest request);
    const ExtractOutcome& lastOutcome() const { return outcome_; }

    static constexpr const char* completeText = "Extraction complete!";

private:
    struct Failure {
        String name;
        std::string reason;
    };
    struct Run; // one run's state (ZipExtractRun.cpp)
    int run(ExtractRequest& request);
    ExtractOutcome outcome_;
};

// Copies the whole archive into a local file, 32768 bytes per range request.
class ZipSaveThread : public ZipJob {
public:
    using ZipJob::ZipJob;
    bool start(String path, JobSettings settings);

    static constexpr int32_t chunkSize = 32768;
    static constexpr const char* completeText = "Download complete!";
    static constexpr const char* cannotCreateText = "Cannot create destination file.";

private:
    int run(const String& path, const JobSettings& settings);
};
