// The linearisation table: placement, hole filling, repair of drops, the measurement file, the
// table file and the four page images.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "params/lintable.h"
#include "support/hostile_files.h"
#include "support/row_name.h"
#include "support/scratch_dir.h"

namespace ovx::params {
namespace {

using Table = std::array<std::int32_t, kTableSize>;

// Places table entry i at position i, then builds: the result shows what filling and repair
// make of a placed table.
Table BuildFromPlaced(const Table& placed) {
    Table positions{}, table{};
    for (int i = 0; i < kTableSize; ++i) {
        positions[i] = i;
    }
    BuildTable(placed, positions, table);
    return table;
}

Table Filled(std::int32_t value) {
    Table t{};
    t.fill(value);
    return t;
}

bool NonDecreasing(const Table& t) {
    return std::is_sorted(t.begin(), t.end());
}

TEST(TableBuilding, LaterPairWinsWhenTwoNameTheSamePosition) {
    Table values{}, positions{}, table{};
    for (int i = 0; i < kTableSize; ++i) {
        values[i] = 10 * i;
        positions[i] = i;
    }
    positions[3] = 700;
    values[3] = 1; // loses: an earlier pair
    positions[900] = 700;
    values[900] = 123456; // wins: the later pair
    BuildTable(values, positions, table);
    EXPECT_EQ(table[700], 123456);
    EXPECT_EQ(table[3], 20) << "entry 3 lost its pair and is a hole filled from entry 2";
}

TEST(TableBuilding, HolesTakeTheLastValueBeforeThemButEntryZeroIsNeverFilled) {
    Table placed = Filled(40);
    placed[0] = 0;
    placed[1] = placed[2] = placed[3] = placed[4] = 37;
    placed[5] = 0;
    placed[6] = placed[7] = placed[8] = 0; // a run of holes
    const Table t = BuildFromPlaced(placed);
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[5], 37);
    EXPECT_EQ(t[8], 37);
    EXPECT_EQ(t[9], 40);
}

TEST(TableBuilding, UnnamedPositionsAndPositionsOutsideTheTableAreSkipped) {
    Table values{}, positions{}, table{};
    for (int i = 0; i < kTableSize; ++i) {
        values[i] = 1000 + i;
        positions[i] = i;
    }
    positions[10] = -1;
    positions[11] = kTableSize;
    positions[12] = INT32_MAX;
    positions[13] = INT32_MIN;
    BuildTable(values, positions, table);
    EXPECT_EQ(table[10], 1009);
    EXPECT_EQ(table[13], 1009);
    EXPECT_EQ(table[14], 1014);
    EXPECT_TRUE(NonDecreasing(table));
}

TEST(TableBuilding, DropBetweenRisingNeighboursBecomesTheirMean) {
    Table placed = Filled(20);
    std::fill_n(placed.begin(), 100, 10);
    placed[100] = 5; // neighbours 10, 5, 20
    const Table t = BuildFromPlaced(placed);
    EXPECT_EQ(t[99], 10);
    EXPECT_EQ(t[100], 15);
    EXPECT_EQ(t[101], 20);
}

TEST(TableBuilding, DropBeforeALowerSuccessorTakesThePredecessorThenTheSuccessorIsRepaired) {
    Table placed = Filled(30);
    std::fill_n(placed.begin(), 100, 10);
    placed[100] = 5; // 10, 5, 8, 30
    placed[101] = 8;
    const Table t = BuildFromPlaced(placed);
    EXPECT_EQ(t[100], 10);
    EXPECT_EQ(t[101], 20) << "8 below its repaired predecessor 10, successor 30 above it";
    EXPECT_EQ(t[102], 30);
}

TEST(TableBuilding, MeanIsTruncatedTowardZero) {
    Table placed = Filled(21);
    std::fill_n(placed.begin(), 100, 10);
    placed[100] = 3;
    EXPECT_EQ(BuildFromPlaced(placed)[100], 15); // (10 + 21) / 2

    Table negative = Filled(-2);
    std::fill_n(negative.begin(), 100, -3);
    negative[100] = -10;
    EXPECT_EQ(BuildFromPlaced(negative)[100], -2); // (-3 + -2) / 2, not -3
}

TEST(TableBuilding, MeanOfLargeNeighboursDoesNotOverflow) {
    Table placed = Filled(INT32_MAX);
    std::fill_n(placed.begin(), 100, INT32_MAX - 10);
    placed[100] = 1;
    EXPECT_EQ(BuildFromPlaced(placed)[100], INT32_MAX - 5);
}

TEST(TableBuilding, LastEntryBelowItsPredecessorIsRaised) {
    Table placed{};
    for (int i = 0; i < kTableSize; ++i) {
        placed[i] = i + 1;
    }
    placed[kTableSize - 1] = 2;
    const Table t = BuildFromPlaced(placed);
    EXPECT_EQ(t[kTableSize - 1], kTableSize - 1);
    EXPECT_EQ(t[kTableSize - 2], kTableSize - 1);
}

TEST(TableBuilding, AnyInputGivesANonDecreasingTableAndKeepsEntryZero) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::int32_t> value(-50000, 50000);
    std::uniform_int_distribution<std::int32_t> position(-20, kTableSize + 20);
    for (int run = 0; run < 20; ++run) {
        Table values{}, positions{}, table{};
        for (int i = 0; i < kTableSize; ++i) {
            values[i] = value(rng);
            positions[i] = position(rng);
        }
        positions[kTableSize - 1] = 0; // the last pair naming entry 0 sets it
        BuildTable(values, positions, table);
        EXPECT_TRUE(NonDecreasing(table)) << "run " << run;
        EXPECT_EQ(table[0], values[kTableSize - 1]) << "run " << run;
    }
}

// ---- Measurement file, table file, page images -------------------------------------------

using EntryOf = std::function<std::int32_t(int n)>;

class MeasurementFile : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.Valid());
        dir_.MakeWorkingDirectory(); // the table file lands in the working directory
    }

    // One line per pair: value, tab, position (group 0 and group 1 as columns).
    std::string Write(const std::vector<std::int32_t>& values,
                      const std::vector<std::int32_t>& positions, const std::string& name) {
        std::string text;
        for (std::size_t i = 0; i < values.size(); ++i) {
            text += std::to_string(values[i]) + "\t" +
                    (i < positions.size() ? std::to_string(positions[i]) : "") + "\n";
        }
        const std::string path = dir_.File(name);
        testing::WriteText(path, text);
        return path;
    }

    // A measurement file whose placed table holds entry(n) at entry n (0 is a hole): line k
    // holds entry(1023 - k) and position k, as group 1 is taken in reverse.
    std::string WriteEntries(const EntryOf& entry) {
        std::vector<std::int32_t> values, positions;
        for (int k = 0; k < kTableSize; ++k) {
            values.push_back(entry(kTableSize - 1 - k));
            positions.push_back(k);
        }
        return Write(values, positions, kMeasurementFile);
    }

    static Table Pages() {
        Table t{};
        std::copy_n(flashp4, kPageSize, t.begin());
        std::copy_n(flashp5, kPageSize, t.begin() + kPageSize);
        std::copy_n(flashp6, kPageSize, t.begin() + 2 * kPageSize);
        std::copy_n(flashp7, kPageSize, t.begin() + 3 * kPageSize);
        return t;
    }

    testing::ScratchDir dir_;
    char error_[260] = {};
};

// A sweep as a calibration rig records it: the true position (group 0, 0..4000) against the
// sensor's raw reading (group 1, 0..1023), nonlinear, noisy, with repeats and gaps. Group 1 is
// written last reading first, as the table takes it: value k pairs with reading k, and the table
// rises with the sweep.
void RealisticSweep(std::vector<std::int32_t>& values, std::vector<std::int32_t>& positions) {
    std::mt19937 rng(42);
    std::normal_distribution<double> noise(0.0, 3.0);
    for (int k = 0; k < kTableSize; ++k) {
        const double x = k / double(kTableSize - 1);
        values.push_back(static_cast<std::int32_t>(std::lround(4000.0 * x)));
        const double raw = 1023.0 * std::pow(x, 1.4) + noise(rng);
        positions.push_back(std::clamp(static_cast<std::int32_t>(std::lround(raw)), 0, 1023));
    }
    std::reverse(positions.begin(), positions.end());
}

TEST_F(MeasurementFile, PositionsInFileOrderPlaceTheKthValueAtTheMirroredEntry) {
    std::vector<std::int32_t> values, positions;
    for (int k = 0; k < kTableSize; ++k) {
        values.push_back(2 * (kTableSize - 1 - k) + 1);
        positions.push_back(k);
    }
    ASSERT_EQ(
        ReadCorrData(Write(values, positions, kMeasurementFile).c_str(), error_, sizeof error_), 1);
    const Table t = Pages();
    for (int n = 0; n < kTableSize; ++n) {
        ASSERT_EQ(t[n], 2 * n + 1) << "entry " << n;
    }
}

TEST_F(MeasurementFile, RealisticSweepGivesMonotonicTableFileAndPageSlices) {
    std::vector<std::int32_t> values, positions;
    RealisticSweep(values, positions);
    ASSERT_EQ(
        ReadCorrData(Write(values, positions, kMeasurementFile).c_str(), error_, sizeof error_), 1);
    // Noisy readings swap places: the repair raises the entries they leave below their left
    // neighbours, quietly, for the sweep rises.
    EXPECT_STREQ(error_, "");
    const Table table = Pages();
    EXPECT_TRUE(NonDecreasing(table));
    EXPECT_LT(table[kTableSize / 2], 3000) << "rising with the sweep, not flat at its top";
    EXPECT_GT(table[kTableSize - 1], 3900);
    EXPECT_LE(table[kTableSize - 1], 4000);

    // The table file: per line the entry number, the position list (group 1 reversed) and the
    // table entry.
    const std::vector<long long> file = testing::ReadIntegers(kTableFile);
    ASSERT_EQ(file.size(), 3u * kTableSize);
    for (int i = 0; i < kTableSize; ++i) {
        ASSERT_EQ(file[3 * i], i);
        ASSERT_EQ(file[3 * i + 1], positions[kTableSize - 1 - i]) << "line " << i;
        ASSERT_EQ(file[3 * i + 2], table[i]) << "line " << i;
    }
    // Its exact layout: three fields of width 6, tab-separated, one line per entry.
    const std::string text = testing::ReadText(kTableFile);
    std::string expected;
    for (int i = 0; i < kTableSize; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%6d\t%6d\t%6d\n", i, positions[kTableSize - 1 - i],
                      table[i]);
        expected += line;
    }
    EXPECT_EQ(text, expected);
    EXPECT_EQ(vcorr[2 * kTableSize + 256], flashp5[0]);
    EXPECT_EQ(vcorr[3 * kTableSize - 1], flashp7[kPageSize - 1]);
}

TEST_F(MeasurementFile, FileThatCannotBeBuiltFromChangesNothing) {
    std::vector<std::int32_t> values, positions;
    RealisticSweep(values, positions);
    ASSERT_EQ(
        ReadCorrData(Write(values, positions, kMeasurementFile).c_str(), error_, sizeof error_), 1);
    const Table before = Pages();
    const std::string tableFile = testing::ReadText(kTableFile);

    EXPECT_EQ(ReadCorrData(dir_.File("missing.dat").c_str(), error_, sizeof error_), 0);
    EXPECT_STREQ(error_, "error : cannot read missing.dat - nothing programmed!");

    values.pop_back(); // 2047 integers: the last position is missing
    const std::string shortFile = Write(values, positions, "short.dat");
    EXPECT_EQ(ReadCorrData(shortFile.c_str(), error_, sizeof error_), 0);
    EXPECT_STREQ(error_, "error : short.dat holds fewer than 2048 values - nothing programmed!");

    testing::WriteText(dir_.File("text.dat"), "12\tabc\n");
    EXPECT_EQ(ReadCorrData(dir_.File("text.dat").c_str(), error_, sizeof error_), 0);
    EXPECT_NE(std::string(error_).find("nothing programmed!"), std::string::npos) << error_;

    EXPECT_EQ(Pages(), before);
    EXPECT_EQ(testing::ReadText(kTableFile), tableFile);
}

TEST_F(MeasurementFile, TableFileThatCannotBeWrittenIsReportedButTheTableIsBuilt) {
    std::filesystem::create_directory(kTableFile); // the name is taken by a directory
    std::vector<std::int32_t> values, positions;
    for (int k = 0; k < kTableSize; ++k) {
        values.push_back(3 * k + 2);
        positions.push_back(kTableSize - 1 - k);
    }
    ASSERT_EQ(
        ReadCorrData(Write(values, positions, kMeasurementFile).c_str(), error_, sizeof error_), 1);
    EXPECT_STREQ(error_, "error : cannot write LTlinear.dat!");
    EXPECT_EQ(flashp7[kPageSize - 1], 3 * (kTableSize - 1) + 2);
    EXPECT_TRUE(std::filesystem::is_directory(kTableFile));
}

// A measurement file that is a folder, a FIFO (its open must not wait for a writer) or far too
// large (refused without reading it all): the error names it, the table and its file stay.
struct HostileMeasurementRow {
    const char* name;
    testing::Hostile kind;
    const char* error;
};

void PrintTo(const HostileMeasurementRow& row, std::ostream* os) {
    *os << row.name;
}

class HostileMeasurementFile : public MeasurementFile,
                               public ::testing::WithParamInterface<HostileMeasurementRow> {};

TEST_P(HostileMeasurementFile, IsRefusedWithItsTextAndChangesNothing) {
    std::vector<std::int32_t> values, positions;
    RealisticSweep(values, positions);
    ASSERT_EQ(ReadCorrData(Write(values, positions, "good.dat").c_str(), error_, sizeof error_), 1);
    const Table before = Pages();
    const std::string tableFile = testing::ReadText(kTableFile);
    const std::string path = dir_.File(kMeasurementFile);
    ASSERT_TRUE(testing::MakeHostile(GetParam().kind, path));

    EXPECT_EQ(ReadCorrData(path.c_str(), error_, sizeof error_), 0);
    EXPECT_STREQ(error_, GetParam().error);
    EXPECT_EQ(Pages(), before);
    EXPECT_EQ(testing::ReadText(kTableFile), tableFile);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HostileMeasurementFile,
    ::testing::Values(
        HostileMeasurementRow{"Directory", testing::Hostile::kDirectory,
                              "error : TARconfig.dat is not a regular file - nothing programmed!"},
        HostileMeasurementRow{"Fifo", testing::Hostile::kFifo,
                              "error : TARconfig.dat is not a regular file - nothing programmed!"},
        HostileMeasurementRow{
            "Huge", testing::Hostile::kHuge,
            "error : TARconfig.dat is far too large for 2048 values - nothing programmed!"}),
    testing::RowName());

// Every finished entry goes to flash as a 16-bit word: a table with an entry below 0 or above
// 65535 would be programmed wrapped round, so it is refused whole, naming its first such entry.
struct WordRangeRow {
    const char* name;
    EntryOf entry;
    const char* error; // "" = built
};

void PrintTo(const WordRangeRow& row, std::ostream* os) {
    *os << row.name;
}

class TableWordRange : public MeasurementFile,
                       public ::testing::WithParamInterface<WordRangeRow> {};

TEST_P(TableWordRange, TableThatDoesNotFitInFlashWordsChangesNothing) {
    const WordRangeRow& row = GetParam();
    for (std::int32_t* page : {flashp4, flashp5, flashp6, flashp7}) {
        std::fill_n(page, kPageSize, -5);
    }
    const std::string path = WriteEntries(row.entry);
    const int built = ReadCorrData(path.c_str(), error_, sizeof error_);
    EXPECT_STREQ(error_, row.error);
    if (row.error[0] != '\0') {
        EXPECT_EQ(built, 0);
        EXPECT_EQ(Pages(), Filled(-5)) << "no page image changed";
        EXPECT_FALSE(std::filesystem::exists(kTableFile)) << "no table file to be trusted";
        return;
    }
    ASSERT_EQ(built, 1);
    const Table t = Pages();
    for (int n = 0; n < kTableSize; ++n) {
        ASSERT_EQ(t[n], row.entry(n)) << "entry " << n;
    }
    EXPECT_EQ(testing::ReadIntegers(kTableFile).size(), 3u * kTableSize);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TableWordRange,
    ::testing::Values(
        WordRangeRow{"WrapsAtEntry554", [](int n) { return 60000 + 10 * n; },
                     "error : TARconfig.dat table entry 554 is 65540, does not fit in 16 bits - "
                     "nothing programmed!"},
        WordRangeRow{"LastEntryJustFits", [](int n) { return 65535 - 64 * (kTableSize - 1 - n); },
                     ""},
        WordRangeRow{"LastEntryOneAbove", [](int n) { return 65536 - 64 * (kTableSize - 1 - n); },
                     "error : TARconfig.dat table entry 1023 is 65536, does not fit in 16 bits - "
                     "nothing programmed!"},
        WordRangeRow{"NegativeFirstEntries", [](int n) { return n - 3; },
                     "error : TARconfig.dat table entry 0 is -3, does not fit in 16 bits - "
                     "nothing programmed!"},
        WordRangeRow{"LargestSignedValue",
                     [](int n) { return n == kTableSize - 1 ? INT32_MAX : 1 + n; },
                     "error : TARconfig.dat table entry 1023 is 2147483647, does not fit in 16 "
                     "bits - nothing programmed!"},
        WordRangeRow{"FromOneUp", [](int n) { return 1 + n; }, ""}),
    testing::RowName());

// The repair keeps the table from decreasing. When the placed values, holes filled, fall more
// often than they rise, the file is almost surely wrong: the table is built and a warning counts
// the entries raised. A few drops in a rising file are repaired without one.
struct RepairRow {
    const char* name;
    EntryOf entry;
    const char* warning; // "" = none
};

void PrintTo(const RepairRow& row, std::ostream* os) {
    *os << row.name;
}

class RepairWarning : public MeasurementFile, public ::testing::WithParamInterface<RepairRow> {};

TEST_P(RepairWarning, IsGivenExactlyWhenThePlacedValuesMostlyFall) {
    const std::string path = WriteEntries(GetParam().entry);
    ASSERT_EQ(ReadCorrData(path.c_str(), error_, sizeof error_), 1) << error_;
    EXPECT_STREQ(error_, GetParam().warning);
    EXPECT_TRUE(NonDecreasing(Pages()));
    EXPECT_EQ(testing::ReadIntegers(kTableFile).size(), 3u * kTableSize);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RepairWarning,
    ::testing::Values(
        RepairRow{"StrictlyRising", [](int n) { return 2 * n + 1; }, ""},
        RepairRow{"RisingWithHolesAndFlats", [](int n) { return n % 3 == 1 ? 0 : 10 + n / 9; }, ""},
        RepairRow{"Decreasing", [](int n) { return 5000 - n; },
                  "warning : TARconfig.dat values decrease - table repaired at 1023 entries!"},
        RepairRow{"OneDrop", [](int n) { return n == 500 ? 3 : 2 * n + 10; }, ""},
        RepairRow{"LastEntryBelowItsPredecessor",
                  [](int n) { return n == kTableSize - 1 ? 7 : 2 * n + 10; }, ""},
        RepairRow{"RisingWithEveryFourthBelow",
                  [](int n) { return n % 4 == 3 ? 2 * n : 2 * n + 10; }, ""},
        RepairRow{"FallingWithEveryFourthAbove",
                  [](int n) { return n % 4 == 3 ? 5000 - 2 * n + 10 : 5000 - 2 * n; },
                  "warning : TARconfig.dat values decrease - table repaired at 1022 entries!"},
        RepairRow{"RisingThenFallingMostly", [](int n) { return n < 300 ? 100 + n : 2000 - n; },
                  "warning : TARconfig.dat values decrease - table repaired at 723 entries!"}),
    testing::RowName());

// Arrangements of a measurement file: the three that the line structure makes unambiguous are
// read as written, in any separation and line ending; anything else programs nothing.
// Value k of group 0 is 2 * (1023 - k) + 1 and lies at position k (group 1): entry n of the
// table is then 2n + 1.
std::int32_t GroupValue(int group, int k) {
    return group == 0 ? 2 * (kTableSize - 1 - k) + 1 : k;
}

std::string Columns(const char* sep, const char* eol, int columns = 2) {
    std::string text;
    for (int k = 0; k < kTableSize; ++k) {
        for (int c = 0; c < columns; ++c) {
            text.append(c > 0 ? sep : "").append(std::to_string(GroupValue(c % 2, k)));
        }
        text += eol;
    }
    return text;
}

std::string GroupsAsRows() {
    std::string text;
    for (int g = 0; g < 2; ++g) {
        for (int k = 0; k < kTableSize; ++k) {
            text += std::to_string(GroupValue(g, k)) + (k + 1 < kTableSize ? " " : "\n");
        }
    }
    return text;
}

std::string OneValueALine(int extra = 0) {
    std::string text;
    for (int g = 0; g < 2; ++g) {
        for (int k = 0; k < kTableSize; ++k) {
            text += std::to_string(GroupValue(g, k)) + "\n";
        }
    }
    for (int i = 0; i < extra; ++i) {
        text += "7\n";
    }
    return text;
}

struct LayoutRow {
    const char* name;
    std::string text;
    bool programs;
};

void PrintTo(const LayoutRow& row, std::ostream* os) {
    *os << row.name;
}

class MeasurementLayouts : public MeasurementFile,
                           public ::testing::WithParamInterface<LayoutRow> {};

TEST_P(MeasurementLayouts, AreReadAsWrittenOrNotAtAll) {
    const std::string path = dir_.File(kMeasurementFile);
    testing::WriteText(path, GetParam().text);
    std::fill_n(flashp4, kPageSize, -5);
    const int built = ReadCorrData(path.c_str(), error_, sizeof error_);
    if (!GetParam().programs) {
        EXPECT_EQ(built, 0);
        EXPECT_STREQ(error_, "error : TARconfig.dat is not laid out as two groups of 1024 values - "
                             "nothing programmed!");
        EXPECT_EQ(flashp4[0], -5);
        return;
    }
    ASSERT_EQ(built, 1) << error_;
    const Table t = Pages();
    for (int n = 1; n < kTableSize; ++n) {
        ASSERT_EQ(t[n], 2 * n + 1) << "entry " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, MeasurementLayouts,
    ::testing::Values(LayoutRow{"ColumnsWithTabs", Columns("\t", "\n"), true},
                      LayoutRow{"ColumnsWithSpacesCrLfAndTrailingBlanks",
                                Columns("   ", "  \r\n") + "\r\n\n", true},
                      LayoutRow{"ColumnsWithoutLastNewline",
                                Columns("\t", "\n").substr(0, Columns("\t", "\n").size() - 1),
                                true},
                      LayoutRow{"GroupsAsRows", GroupsAsRows(), true},
                      LayoutRow{"OneValueALine", OneValueALine(), true},
                      LayoutRow{"ThirdColumn", Columns("\t", "\n", 3), false},
                      LayoutRow{"OneValueALineWithOneTooMany", OneValueALine(1), false},
                      LayoutRow{"BlankLineInside", "1\t2\n\n" + Columns("\t", "\n"), false},
                      LayoutRow{"Ragged", "1\t2\t3\n4\n" + Columns("\t", "\n").substr(8), false}),
    testing::RowName());

} // namespace
} // namespace ovx::params
