// The shared dialog driver on real boxes: it answers what its script expects and fails, naming
// the dialog, on anything else, so that the code under test returns instead of waiting.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/modal_driver.h"
#include "support/row_name.h"
#include "ui/help.h"

namespace ovx::testing {
namespace {

struct DriverRow {
    const char* name;
    std::vector<DialogStep> script;
    bool ask;                          // the code under test asks its question
    int result;                        // what the question returns
    std::vector<std::string> failures; // a part of each failure the driver reports, in order
};

void PrintTo(const DriverRow& row, std::ostream* os) {
    *os << row.name;
}

class ModalDriver : public ::testing::TestWithParam<DriverRow> {};

TEST_P(ModalDriver, AnswersTheScriptAndFailsNamingAnyOtherDialog) {
    const DriverRow& row = GetParam();
    ::testing::TestPartResultArray failures;
    int result = -1;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
        ModalDialogDriver driver(row.script);
        if (row.ask) {
            result = ui::QuestionPopup("Port", "Close the port?", "Close", "Keep");
        }
    }
    EXPECT_EQ(result, row.result);
    ASSERT_EQ(failures.size(), static_cast<int>(row.failures.size()));
    for (int i = 0; i < failures.size(); ++i) {
        EXPECT_NE(std::string(failures.GetTestPartResult(i).message()).find(row.failures[i]),
                  std::string::npos)
            << failures.GetTestPartResult(i).message();
    }
}

constexpr const char* kBox = "QMessageBox \"Port\": Close the port? [Close|Keep]";

INSTANTIATE_TEST_SUITE_P(
    Dialogs, ModalDriver,
    ::testing::Values(DriverRow{"ExpectedQuestionIsAnswered",
                                {{DialogKind::Question, "Close the port?", "Close"}},
                                true,
                                1,
                                {}},
                      DriverRow{"ExpectedQuestionIsRejected",
                                {{DialogKind::Question, "Close the port?", ""}},
                                true,
                                0,
                                {}},
                      DriverRow{"UnexpectedQuestionIsNamedAndRejected",
                                {},
                                true,
                                0,
                                {std::string("unexpected dialog: ") + kBox}},
                      DriverRow{"QuestionOfOtherTextIsUnexpected",
                                {{DialogKind::Question, "Open the port?", "Close"}},
                                true,
                                0,
                                {std::string("unexpected dialog: ") + kBox,
                                 "expected dialog never came up: Open the port?"}},
                      DriverRow{"FileDialogInsteadOfQuestionIsUnexpected",
                                {{DialogKind::File, "", "/tmp/x.dat"}},
                                true,
                                0,
                                {std::string("unexpected dialog: ") + kBox,
                                 "expected dialog never came up"}},
                      DriverRow{"MissingButtonIsNamed",
                                {{DialogKind::Question, "Close the port?", "Shut"}},
                                true,
                                0,
                                {std::string("no button \"Shut\": ") + kBox}},
                      DriverRow{"DialogThatNeverComesIsAFailure",
                                {{DialogKind::Question, "Close the port?", "Close"}},
                                false,
                                -1,
                                {"expected dialog never came up: Close the port?"}}),
    RowName());

} // namespace
} // namespace ovx::testing
