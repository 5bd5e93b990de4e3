#include "live/record_file.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "link/com232.h"
#include "platform/line_file.h"
#include "platform/number_text.h"
#include "platform/timing.h"

namespace ovx::live {

int recording = 0;
int recordFrames = 0;
char szRecordFile[kRecordPathSize] = {};

namespace {

int recordHandle = 0;
double recordStart = 0.0;

} // namespace

const char* FileNameOf(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

void ShowFileStatus(const char* format, const char* path) {
    std::snprintf(link::szStatus, sizeof link::szStatus, format, FileNameOf(path));
    link::ShowStatus();
}

int OpenRecordFile(const char* path) {
    CloseRecordFile();
    recordFrames = 0;
    std::snprintf(szRecordFile, sizeof szRecordFile, "%s", path != nullptr ? path : "");
    const int handle = platform::OpenLineFile(szRecordFile);
    const int rc = handle < 0 ? handle : platform::WriteLine(handle, kRecordHeader);
    if (rc != 0) {
        if (handle > 0) {
            platform::CloseLineFile(handle);
        }
        szRecordFile[0] = '\0';
        return rc;
    }
    recordHandle = handle;
    recordStart = platform::Timer();
    recording = 1;
    return 0;
}

int RecordSample(const LiveSample& sample, const char* source) {
    if (recording == 0) {
        return 0;
    }
    std::array<char, 32> clock{};
    platform::FormatWallClock("yyyy-MM-dd hh:mm:ss.zzz", clock.data(),
                              static_cast<int>(clock.size()));
    std::array<char, 200> line{};
    std::snprintf(line.data(), line.size(), "%s,%s,%d,%u,%u,%u,%u,%u,%d,%d,%s",
                  platform::FixedText(platform::Timer() - recordStart, 3).c_str(), clock.data(),
                  sample.norm, unsigned{sample.a}, unsigned{sample.b}, unsigned{sample.amax},
                  unsigned{sample.upper}, unsigned{sample.lower}, sample.toleranceOutput,
                  sample.referenceOutput, source);
    if (const int rc = platform::WriteLine(recordHandle, line.data()); rc != 0) {
        return rc;
    }
    ++recordFrames;
    return 0;
}

void CloseRecordFile() {
    if (recording == 0) {
        return;
    }
    platform::CloseLineFile(recordHandle);
    recordHandle = 0;
    recording = 0;
}

} // namespace ovx::live
