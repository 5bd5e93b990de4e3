// Under a German locale (decimal comma) every number ovextar-cli writes for machines keeps its
// decimal point: CSV rows, JSON objects, trace stamps, the curve and table files.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cctype>
#include <fstream>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "support/german_locale.h"
#include "support/program_run.h"
#include "support/row_name.h"
#include "support/scratch_dir.h"

namespace ovx::cli {
namespace {

using testing::ProgramCall;
using testing::ProgramResult;

// The text's lines, empty ones left out.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines = testing::LinesStartingWith(text, "");
    std::erase_if(lines, [](const std::string& l) { return l.empty(); });
    return lines;
}

constexpr const char* kOut = "out";
constexpr const char* kCli = "ovextar-cli";
constexpr const char* kWindow = "ovx_window_session";

// Where the machine text comes from, and what each of its lines must look like.
enum class Source { Stdout, Stderr, File };
enum class Shape { LiveCsv, Json, TraceLine, CurveCsv, TableFile };

struct LocaleRow {
    const char* name;
    const char* program;           // ovextar-cli, or ovx_window_session: the window's own start-up
    std::vector<std::string> args; // FILE: the scratch file; MEAS: a measurement file
    Source source;
    Shape shape;
};

void PrintTo(const LocaleRow& row, std::ostream* os) {
    *os << row.name;
}

// time,norm,a,b,amax,upper,lower,tol,ref: the time with a point and three decimals.
const std::regex kLiveCsv(R"(\d+\.\d{3}(,-?\d+){8})");
const std::regex kTraceLine(R"(\d+\.\d{3} [a-z-]+: .*)");
const std::regex kCurveCsv(R"(\d+(,\d+){2,5})");
const std::regex kTableLine(R"([ \t]*-?\d+([ \t]+-?\d+)*)");

void ExpectLine(Shape shape, const std::string& line) {
    switch (shape) {
    case Shape::LiveCsv:
        EXPECT_TRUE(std::regex_match(line, kLiveCsv)) << line;
        break;
    case Shape::TraceLine:
        EXPECT_TRUE(std::regex_match(line, kTraceLine)) << line;
        break;
    case Shape::CurveCsv:
        EXPECT_TRUE(std::regex_match(line, kCurveCsv)) << line;
        break;
    case Shape::TableFile:
        EXPECT_TRUE(std::regex_match(line, kTableLine)) << line;
        break;
    case Shape::Json: {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
        EXPECT_TRUE(doc.isObject()) << line;
        break;
    }
    }
}

class CliLocale : public ::testing::TestWithParam<LocaleRow> {};

TEST_P(CliLocale, MachineTextKeepsItsDecimalPoint) {
    const LocaleRow& row = GetParam();
    std::string why;
    ASSERT_FALSE(testing::GermanLocaleDir(&why).empty()) << why;
    testing::ScratchDir dir;
    ASSERT_TRUE(dir.Valid());
    ProgramCall call{row.program, {}, dir.Path()};
    if (std::string(row.program) == kCli) {
        call.args = {"--simulator", "--no-line"};
    }
    call.env = testing::GermanLocaleEnvironment();
    for (std::string a : row.args) {
        if (a == "MEAS") {
            a = dir.File("TARconfig.dat");
            std::ofstream out(a);
            for (int k = 0; k < 1024; ++k) {
                out << 4 * (1023 - k) + 3 << '\t' << k << '\n';
            }
        }
        call.args.push_back(a == "FILE" ? dir.File(kOut) : a);
    }
    const ProgramResult r = testing::RunProgram(call);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string text = row.source == Source::Stdout   ? r.out
                             : row.source == Source::Stderr ? r.err
                                                            : testing::ReadText(dir.File(kOut));
    std::vector<std::string> lines = Lines(text);
    if (row.shape == Shape::TraceLine) {
        // Only stamped lines: a stamp begins with a digit in any locale.
        std::erase_if(lines, [](const std::string& l) {
            return !std::isdigit(static_cast<unsigned char>(l[0]));
        });
    }
    if (row.shape == Shape::LiveCsv || row.shape == Shape::CurveCsv) {
        ASSERT_FALSE(lines.empty());
        lines.erase(lines.begin()); // the header
    }
    ASSERT_FALSE(lines.empty()) << r.err;
    for (const std::string& line : lines) {
        ExpectLine(row.shape, line);
    }
}

INSTANTIATE_TEST_SUITE_P(
    German, CliLocale,
    ::testing::Values(
        LocaleRow{"LiveCsvFile",
                  kCli,
                  {"live", "--frames", "5", "--csv", "FILE"},
                  Source::File,
                  Shape::LiveCsv},
        LocaleRow{"LiveStdout", kCli, {"live", "--frames", "5"}, Source::Stdout, Shape::LiveCsv},
        LocaleRow{
            "LiveJson", kCli, {"--json", "live", "--frames", "5"}, Source::Stdout, Shape::Json},
        LocaleRow{"GetJson", kCli, {"--json", "get"}, Source::Stdout, Shape::Json},
        LocaleRow{
            "Trace", kCli, {"--trace", "live", "--frames", "3"}, Source::Stderr, Shape::TraceLine},
        LocaleRow{
            "CurveCsv", kCli, {"curve", "--raw", "--csv", "FILE"}, Source::File, Shape::CurveCsv},
        LocaleRow{
            "TableFile", kCli, {"table", "MEAS", "-o", "FILE"}, Source::File, Shape::TableFile},
        LocaleRow{"WindowTrace", kWindow, {"run", "5"}, Source::Stderr, Shape::TraceLine}),
    testing::RowName{});

} // namespace
} // namespace ovx::cli
