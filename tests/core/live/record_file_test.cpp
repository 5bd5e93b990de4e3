// The recording file of the core, with no panel loaded: the header, one line per sample with
// its fields in order, and an open that fails leaves nothing recorded and no file named.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "live/record_file.h"
#include "platform/errors.h"
#include "support/row_name.h"
#include "support/scratch_dir.h"

namespace ovx::live {
namespace {

struct RecordRow {
    std::string name;
    LiveSample sample;
    const char* source;
    std::string fields; // the line after its time and wall clock
};

void PrintTo(const RecordRow& row, std::ostream* os) {
    *os << row.name;
}

using testing::ReadText;
using testing::SplitText;

std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines = SplitText(ReadText(path), '\n');
    EXPECT_EQ(lines.back(), std::string()); // the file ends with a newline
    lines.pop_back();
    return lines;
}

// The fields from the third on, joined again.
std::string FieldsFromThird(const std::vector<std::string>& fields) {
    std::string joined;
    for (std::size_t i = 2; i < fields.size(); ++i) {
        joined += (i > 2 ? "," : "") + fields[i];
    }
    return joined;
}

class RecordFileRow : public ::testing::TestWithParam<RecordRow> {
  protected:
    void TearDown() override { CloseRecordFile(); }
};

TEST_P(RecordFileRow, HoldsTheHeaderAndOneLinePerSample) {
    const RecordRow& row = GetParam();
    testing::ScratchDir dir;
    const std::string path = dir.File("rec.csv");
    ASSERT_EQ(OpenRecordFile(path.c_str()), 0);
    EXPECT_EQ(recording, 1);
    ASSERT_EQ(RecordSample(row.sample, row.source), 0);
    ASSERT_EQ(RecordSample(row.sample, row.source), 0);
    EXPECT_EQ(recordFrames, 2);
    CloseRecordFile();
    EXPECT_EQ(recording, 0);
    EXPECT_EQ(std::string(szRecordFile), path) << "the name stays after the close";

    const std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], kRecordHeader);
    for (std::size_t i = 1; i < 3; ++i) {
        const std::vector<std::string> f = SplitText(lines[i], ',');
        ASSERT_EQ(f.size(), 11u) << lines[i];
        EXPECT_EQ(FieldsFromThird(f), row.fields);
    }
}

LiveSample Sample(int norm, std::uint16_t a, std::uint16_t b, std::uint16_t amax,
                  std::uint16_t upper, std::uint16_t lower, int tol, int ref) {
    LiveSample s;
    s.time = 99.0; // not written: the line holds the recording's own time
    s.norm = norm;
    s.a = a;
    s.b = b;
    s.amax = amax;
    s.upper = upper;
    s.lower = lower;
    s.toleranceOutput = tol;
    s.referenceOutput = ref;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RecordFileRow,
    ::testing::Values(
        RecordRow{"Norm", Sample(2050, 1000, 900, 3000, 2560, 1536, 1, 0), "NORM",
                  "2050,1000,900,3000,2560,1536,1,0,NORM"},
        RecordRow{"Raw", Sample(7, 1, 2, 3, 4, 5, 0, 1), "RAW", "7,1,2,3,4,5,0,1,RAW"},
        RecordRow{"WordsAboveInt16", Sample(65535, 65534, 40000, 32768, 65000, 33000, 0, 0), "NORM",
                  "65535,65534,40000,32768,65000,33000,0,0,NORM"}),
    testing::RowName());

TEST(RecordFile, OpenInAMissingFolderRecordsNothingAndNamesNoFile) {
    testing::ScratchDir dir;
    const std::string path = dir.File("none/rec.csv");
    EXPECT_EQ(OpenRecordFile(path.c_str()), platform::kFileCannotOpen);
    EXPECT_EQ(recording, 0);
    EXPECT_EQ(szRecordFile[0], '\0');
    EXPECT_EQ(recordFrames, 0);
    EXPECT_EQ(RecordSample(LiveSample{}, "RAW"), 0) << "nothing while not recording";
    EXPECT_EQ(recordFrames, 0);
}

} // namespace
} // namespace ovx::live
