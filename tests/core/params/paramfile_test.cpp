// The parameter file in the core, with no panel: the sixteen variables to a file and back, and
// files that are no parameter file leaving them as they were.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <string>

#include "params/parameters.h"
#include "params/paramfile.h"
#include "support/row_name.h"
#include "support/scratch_dir.h"

namespace ovx::params {
namespace {

using Words = std::array<std::uint16_t, kParamFileWords>;

Words Variables() {
    Words w{};
    for (int i = 0; i < kParamFileWords; ++i) {
        w[i] = *Parameters()[i].variable;
    }
    return w;
}

void SetVariables(const Words& w) {
    for (int i = 0; i < kParamFileWords; ++i) {
        *Parameters()[i].variable = w[i];
    }
}

constexpr Words kBefore{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

struct ReadRow {
    const char* name;
    std::string text; // the file; "" = no file at all
    int result;
    const char* error; // "" when loaded
    Words after;
};

void PrintTo(const ReadRow& row, std::ostream* os) {
    *os << row.name;
}

std::string Sixteen(const char* last) {
    std::string text;
    for (int i = 0; i < 15; ++i) {
        text += std::to_string(100 * i) + "\n";
    }
    return text + last + "\n";
}

class ParamFileRead : public ::testing::TestWithParam<ReadRow> {};

TEST_P(ParamFileRead, TakesSixteenValuesOrLeavesTheVariables) {
    const ReadRow& row = GetParam();
    testing::ScratchDir dir;
    ASSERT_TRUE(dir.Valid());
    const std::string path = dir.File("TARpara.dat");
    if (!row.text.empty()) {
        testing::WriteText(path, row.text);
    }
    SetVariables(kBefore);
    char error[260] = "untouched";
    EXPECT_EQ(ReadParamFile(path.c_str(), error, sizeof error), row.result);
    if (row.result < 0) {
        EXPECT_STREQ(error, row.error);
    }
    EXPECT_EQ(Variables(), row.after);
}

constexpr Words kHundreds{0,   100, 200,  300,  400,  500,  600,  700,
                          800, 900, 1000, 1100, 1200, 1300, 1400, 7};

INSTANTIATE_TEST_SUITE_P(
    Rows, ParamFileRead,
    ::testing::Values(ReadRow{"Sixteen", Sixteen("7"), 1, "", kHundreds},
                      ReadRow{"LowSixteenBits", Sixteen("65543"), 1, "", kHundreds},
                      ReadRow{"Seventeen", Sixteen("7") + "8\n", -1,
                              "error : parameter file holds 17 values, not 16!", kBefore},
                      ReadRow{"Fifteen", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15\n", -1,
                              "error : parameter file holds 15 values, not 16!", kBefore},
                      ReadRow{"NotAnInteger", Sixteen("x"), -1,
                              "error : parameter file holds a value that is not an integer!",
                              kBefore},
                      ReadRow{"Missing", "", -1, "error : cannot read parameter file!", kBefore}),
    testing::RowName());

TEST(ParamFileWrite, WritesTheVariablesThatReadBackUnchanged) {
    testing::ScratchDir dir;
    ASSERT_TRUE(dir.Valid());
    const std::string path = dir.File("TARpara.dat");
    const Words wide{65535, 10000, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12345, 40000, 1, 65534};
    SetVariables(wide);
    char error[260] = {};
    ASSERT_EQ(WriteParamFile(path.c_str(), error, sizeof error), 1) << error;
    SetVariables(kBefore);
    ASSERT_EQ(ReadParamFile(path.c_str(), error, sizeof error), 1) << error;
    EXPECT_EQ(Variables(), wide);
}

TEST(ParamFileWrite, UnwritablePlaceKeepsNothingAndSaysSo) {
    testing::ScratchDir dir;
    ASSERT_TRUE(dir.Valid());
    char error[260] = {};
    EXPECT_EQ(WriteParamFile(dir.File("no/such/dir/TARpara.dat").c_str(), error, sizeof error), -1);
    EXPECT_STREQ(error, "error : cannot write parameter file!");
}

} // namespace
} // namespace ovx::params
