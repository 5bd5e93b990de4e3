// The file popup of the window: its responder in tests, and the real dialog answered as a person
// would.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "support/modal_driver.h"
#include "ui/file_dialogs.h"

namespace ovx::platform {
namespace {

class FilePopup : public ::testing::Test {
  protected:
    void TearDown() override { ui::SetFileSelectResponder({}); }
    int Open(int buttonCode, char* path, int restrictExt = 1) {
        return ui::FileSelectPopup("/data", "TARpara.dat", "*.dat", "O-VEX-TAR Parameter File",
                                   buttonCode, 0, restrictExt, 1, 1, path);
    }
};

TEST_F(FilePopup, ResponderSeesTheRequestAndItsPathIsReturned) {
    ui::FileSelectRequest seen{};
    ui::SetFileSelectResponder([&](const ui::FileSelectRequest& r, std::string& path) {
        seen = r;
        path = "/data/mine.dat";
        return 1;
    });
    char path[260] = {};
    EXPECT_EQ(Open(3, path), 1);
    EXPECT_STREQ(path, "/data/mine.dat");
    EXPECT_EQ(seen.defaultDir, "/data");
    EXPECT_EQ(seen.defaultName, "TARpara.dat");
    EXPECT_EQ(seen.filter, "*.dat");
    EXPECT_EQ(seen.title, "O-VEX-TAR Parameter File");
    EXPECT_EQ(seen.buttonCode, 3);
}

TEST_F(FilePopup, RestrictedExtensionIsForced) {
    std::string answer;
    ui::SetFileSelectResponder([&](const ui::FileSelectRequest&, std::string& path) {
        path = answer;
        return 1;
    });
    char path[260] = {};
    answer = "/data/params";
    ASSERT_EQ(Open(0, path), 1);
    EXPECT_STREQ(path, "/data/params.dat");
    answer = "/data/TARCONFIG.DAT";
    ASSERT_EQ(Open(0, path), 1);
    EXPECT_STREQ(path, "/data/TARCONFIG.DAT");
    answer = "/data/notes.txt";
    ASSERT_EQ(Open(0, path, 0), 1);
    EXPECT_STREQ(path, "/data/notes.txt");
}

TEST_F(FilePopup, CancelLeavesThePathAndTooLongPathIsRefused) {
    int result = 0;
    std::string answer;
    ui::SetFileSelectResponder([&](const ui::FileSelectRequest&, std::string& path) {
        path = answer;
        return result;
    });
    char path[260] = "/data/previous.dat";
    answer = "/data/other.dat";
    EXPECT_EQ(Open(3, path), 0);
    EXPECT_STREQ(path, "/data/previous.dat");
    result = 1;
    answer = "/" + std::string(256, 'x') + ".dat";
    EXPECT_LT(Open(3, path), 0);
    EXPECT_STREQ(path, "");
}

// The real dialog: answered by picking a file as a person would.
TEST_F(FilePopup, RealDialogOffersTheLoadSideAndReturnsTheChosenFile) {
    QTemporaryDir dir;
    QFile existing(dir.filePath("TARpara.dat"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    const std::string chosen = dir.filePath("TARpara.dat").toStdString();
    char path[260] = {};
    const std::string home = dir.path().toStdString();
    std::vector<testing::SeenDialog> seen;
    int result = 0;
    {
        testing::ModalDialogDriver driver({{testing::DialogKind::File, "Load them", chosen}});
        result = ui::FileSelectPopup(home.c_str(), "TARpara.dat", "*.dat", "Load them", 3, 0, 1, 1,
                                     1, path);
        seen = driver.Seen();
    }
    EXPECT_EQ(result, 1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].buttons.front(), "Load");
    EXPECT_EQ(path, chosen);
}

} // namespace
} // namespace ovx::platform
