// The parameter file: save from the panels, load into the variables, failures that keep them.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/gui.h"
#include "app/panel_handles.h"
#include "app/paramfile.h"
#include "link/com232.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/files.h"
#include "support/hostile_files.h"
#include "support/row_name.h"
#include "support/scratch_dir.h"
#include "support/tool_fixture.h"
#include "ui/file_dialogs.h"
#include "ui/panel.h"

namespace ovx::app {
namespace {

using namespace params;

using Words = std::array<std::uint16_t, 16>;

Words Variables() {
    return {power,    reference, tolerance, hysteresis, polarity, hold,    hwmode,  average,
            evalmode, maxmode,   triglvl,   trigmode,   sdelay,   dbuflen, anamode, para15};
}

void SetVariables(const Words& w) {
    std::uint16_t* vars[] = {&power,  &reference, &tolerance, &hysteresis, &polarity, &hold,
                             &hwmode, &average,   &evalmode,  &maxmode,    &triglvl,  &trigmode,
                             &sdelay, &dbuflen,   &anamode,   &para15};
    for (std::size_t i = 0; i < w.size(); ++i) {
        *vars[i] = w[i];
    }
}

Words Block() {
    Words w{};
    std::copy(std::begin(link::pp), std::end(link::pp), w.begin());
    return w;
}

std::string Lines(const std::vector<long long>& values) {
    std::string text;
    for (long long v : values) {
        text += std::to_string(v) + "\n";
    }
    return text;
}

class ParameterFile : public testing::PanelFixture {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        ASSERT_TRUE(dir_.Valid());
        platform::SetProjectDirForTesting(dir_.Path());
        ASSERT_EQ(platform::GetProjectDir(proj_dir), 0);
        link::szStatus[0] = '\0';
    }
    void TearDown() override {
        ui::SetFileSelectResponder({});
        platform::SetProjectDirForTesting(""); // the panel file is found beside the program
        PanelFixture::TearDown();
    }

    // The popup answers with path (or is cancelled when path is empty) and records its request.
    void AnswerPopupWith(const std::string& path) {
        ui::SetFileSelectResponder(
            [this, path](const ui::FileSelectRequest& r, std::string& chosen) {
                requests_.push_back(r);
                chosen = path;
                return path.empty() ? 0 : 1;
            });
    }

    testing::ScratchDir dir_;
    std::vector<ui::FileSelectRequest> requests_;
};

// Start values with five-digit words and a para15 that no panel shows.
constexpr Words kWide = {65535, 10000, 54321, 20, 1, 100, 1, 8, 0, 0, 950, 2, 500, 8, 0, 40000};

TEST_F(ParameterFile, SavedFileLoadsBackEveryWordIncludingPara15AndFiveDigitValues) {
    SetVariables(kWide);
    SetPanelValues();
    const std::string path = dir_.File("wide.dat");
    std::snprintf(file_name, sizeof file_name, "%s", path.c_str());
    ASSERT_EQ(SendParaToFile(), 1);
    const std::vector<long long> saved = testing::ReadIntegers(path);
    EXPECT_EQ(saved, std::vector<long long>(kWide.begin(), kWide.end()));

    SetVariables(Words{});
    AnswerPopupWith(path);
    ASSERT_EQ(ReadParaFromFile(), 1);
    EXPECT_EQ(Variables(), kWide);
    EXPECT_EQ(Block(), kWide);
}

TEST_F(ParameterFile, SavedFileHoldsThePanelValuesAfterTheInterlock) {
    SetVariables(kWide);
    SetPanelValues();
    ui::SetCtrlVal(panelHandle, PANEL_POWER, 321);
    ui::SetCtrlVal(panelHandle, PANEL_DROP_EVALMODE, 2);
    ui::SetCtrlVal(panelPopUp, POPUP_DROPTRIGMODE, 1);
    const std::string path = dir_.File("interlock.dat");
    std::snprintf(file_name, sizeof file_name, "%s", path.c_str());
    ASSERT_EQ(SendParaToFile(), 1);
    const std::vector<long long> saved = testing::ReadIntegers(path);
    ASSERT_EQ(saved.size(), 16u);
    EXPECT_EQ(saved[0], 321);
    EXPECT_EQ(saved[8], 2);
    EXPECT_EQ(saved[11], 0) << "evaluation mode 2 excludes trigger mode 1";
    EXPECT_EQ(saved[15], 40000);
}

TEST_F(ParameterFile, LoadTakesTheLow16BitsAndAppliesNoInterlock) {
    const std::string path = dir_.File("foreign.dat");
    testing::WriteText(path,
                       Lines({65536, 70000, 3, 4, 5, 6, 7, 8, 2, 10, 11, 1, 13, 14, 15, 65535}));
    AnswerPopupWith(path);
    ASSERT_EQ(ReadParaFromFile(), 1);
    const Words expected = {0, 4464, 3, 4, 5, 6, 7, 8, 2, 10, 11, 1, 13, 14, 15, 65535};
    EXPECT_EQ(Variables(), expected);
}

TEST_F(ParameterFile, LoadPopupAsksForTheParameterFileInTheProgramDirectory) {
    AnswerPopupWith("");
    SetVariables(kWide);
    EXPECT_EQ(ReadParaFromFile(), 0);
    EXPECT_EQ(Variables(), kWide);
    ASSERT_EQ(requests_.size(), 1u);
    EXPECT_EQ(requests_[0].defaultDir, dir_.Path());
    EXPECT_EQ(requests_[0].defaultName, "TARpara.dat");
    EXPECT_EQ(requests_[0].filter, "*.dat");
    EXPECT_EQ(requests_[0].title, "O-VEX-TAR Parameter File");
    EXPECT_EQ(requests_[0].buttonCode, 3);
}

// A file is loaded only when it holds exactly 16 integers: any other count (a measurement file
// of 2048 among them, whatever its first values) and any unreadable file leave the variables
// and the block as they were, and the status line says why.
struct LoadRow {
    const char* name;
    std::optional<std::string> text; // none: the file is not created
    const char* status;              // "" = loaded
};

void PrintTo(const LoadRow& row, std::ostream* os) {
    *os << row.name;
}

std::vector<long long> Count(int n) {
    std::vector<long long> values;
    for (int i = 0; i < n; ++i) {
        values.push_back(i % 2); // values every parameter takes
    }
    return values;
}

// A measurement file: 1024 lines of value and position.
std::string MeasurementText() {
    std::string text;
    for (int k = 0; k < 1024; ++k) {
        text += std::to_string(k % 2) + "\t" + std::to_string(k) + "\n";
    }
    return text;
}

class ParameterFileLoad : public ParameterFile, public ::testing::WithParamInterface<LoadRow> {};

TEST_P(ParameterFileLoad, TakesSixteenValuesOrNothing) {
    const LoadRow& row = GetParam();
    SetVariables(kWide);
    link::CopyVarsToPP();
    const std::string path = dir_.File("TARpara.dat");
    if (row.text) {
        testing::WriteText(path, *row.text);
    }
    AnswerPopupWith(path);
    const bool loads = row.status[0] == '\0';
    EXPECT_EQ(ReadParaFromFile(), loads ? 1 : -1);
    EXPECT_STREQ(link::szStatus, row.status);
    const std::vector<long long> sixteen = Count(16);
    Words expected = kWide;
    if (loads) {
        std::copy(sixteen.begin(), sixteen.end(), expected.begin());
    }
    EXPECT_EQ(Variables(), expected);
    EXPECT_EQ(Block(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ParameterFileLoad,
    ::testing::Values(
        LoadRow{"Sixteen", Lines(Count(16)), ""},
        LoadRow{"SixteenOnOneLineWithCommas", "0,1,0,1,0,1,0,1,0,1,0,1,0,1,0,1", ""},
        LoadRow{"Empty", "", "error : parameter file holds 0 values, not 16!"},
        LoadRow{"Fifteen", Lines(Count(15)), "error : parameter file holds 15 values, not 16!"},
        LoadRow{"Seventeen", Lines(Count(17)), "error : parameter file holds 17 values, not 16!"},
        LoadRow{"MeasurementFile", MeasurementText(),
                "error : parameter file holds 2048 values, not 16!"},
        LoadRow{"Words", "power 500\n",
                "error : parameter file holds a value that is not an integer!"},
        LoadRow{"Missing", std::nullopt, "error : cannot read parameter file!"}),
    testing::RowName());

TEST_F(ParameterFile, FileThatCannotBeWrittenIsReported) {
    const std::string path = dir_.File("no-such-dir/p.dat");
    std::snprintf(file_name, sizeof file_name, "%s", path.c_str());
    EXPECT_EQ(SendParaToFile(), -1);
    EXPECT_STREQ(link::szStatus, "error : cannot write parameter file!");
}

// ---- Hostile files: a folder, a FIFO, a file far too large, a full file system ---------------

struct HostileRow {
    const char* name;
    testing::Hostile kind; // what the chosen name is (a full file system: an old regular file)
    bool fullFileSystem;   // the save may write no byte more than the old file holds
    const char* status;
};

void PrintTo(const HostileRow& row, std::ostream* os) {
    *os << row.name;
}

class HostileParameterFile : public ParameterFile,
                             public ::testing::WithParamInterface<HostileRow> {
  protected:
    void SetUp() override {
        ParameterFile::SetUp();
        path_ = dir_.File(kParamFileName);
        if (GetParam().fullFileSystem) {
            testing::WriteText(path_, kOldFile);
        } else {
            ASSERT_TRUE(testing::MakeHostile(GetParam().kind, path_));
        }
        SetVariables(kWide);
        SetPanelValues();
        link::CopyVarsToPP();
    }
    static constexpr const char* kOldFile =
        "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n16\n";
    std::string path_;
};

// The load is refused at once (a FIFO never blocks it, a huge file is not read) and changes
// nothing.
using HostileParameterLoad = HostileParameterFile;
TEST_P(HostileParameterLoad, IsRefusedWithItsTextAndChangesNothing) {
    AnswerPopupWith(path_);
    EXPECT_EQ(ReadParaFromFile(), -1);
    EXPECT_STREQ(link::szStatus, GetParam().status);
    EXPECT_EQ(Variables(), kWide);
    EXPECT_EQ(Block(), kWide);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HostileParameterLoad,
    ::testing::Values(HostileRow{"Directory", testing::Hostile::kDirectory, false,
                                 "error : parameter file is not a regular file!"},
                      HostileRow{"Fifo", testing::Hostile::kFifo, false,
                                 "error : parameter file is not a regular file!"},
                      HostileRow{"Huge", testing::Hostile::kHuge, false,
                                 "error : parameter file is far too large to hold 16 values!"}),
    testing::RowName());

// The save fails with its text and leaves what was there: the folder, the FIFO, the old file.
using HostileParameterSave = HostileParameterFile;
TEST_P(HostileParameterSave, FailsWithItsTextAndLeavesTheOldNode) {
    const unsigned before = testing::NodeType(path_);
    std::snprintf(file_name, sizeof file_name, "%s", path_.c_str());
    std::optional<testing::FullFileSystem> full;
    if (GetParam().fullFileSystem) {
        full.emplace(8);
        ASSERT_TRUE(full->Ok());
    }
    const int saved = SendParaToFile();
    full.reset();
    EXPECT_EQ(saved, -1);
    EXPECT_STREQ(link::szStatus, GetParam().status);
    EXPECT_EQ(testing::NodeType(path_), before);
    if (GetParam().fullFileSystem) {
        EXPECT_EQ(testing::ReadText(path_), kOldFile);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HostileParameterSave,
    ::testing::Values(HostileRow{"Directory", testing::Hostile::kDirectory, false,
                                 "error : parameter file is not a regular file - nothing written!"},
                      HostileRow{"Fifo", testing::Hostile::kFifo, false,
                                 "error : parameter file is not a regular file - nothing written!"},
                      HostileRow{"FullFileSystem", testing::Hostile::kRegularFile, true,
                                 "error : cannot write parameter file!"}),
    testing::RowName());

} // namespace
} // namespace ovx::app
