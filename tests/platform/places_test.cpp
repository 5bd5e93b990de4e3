// Where the program finds its panel file and keeps the operator's files: a build folder, an
// installed tree (bin/ and share/ovextar/), and a working directory that must not take over.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include <string>

#include "platform/places.h"
#include "window/ui/panel_fixture.h"

namespace ovx::platform::detail {
namespace {

struct Layout {
    const char* name;
    bool besideProgram; // prefix/bin/panel.uir
    bool inDataDir;     // prefix/share/ovextar/panel.uir
    bool inWorkingDir;  // work/panel.uir
    const char* found;  // relative to the prefix
    const char* programDir;
};

void PrintTo(const Layout& row, std::ostream* os) {
    *os << row.name;
}

class Places : public ::testing::TestWithParam<Layout> {
  protected:
    void SetUp() override { ASSERT_TRUE(root_.isValid()); }
    std::string Path(const char* relative) const {
        return QDir::cleanPath(root_.filePath(QString::fromLatin1(relative))).toStdString();
    }
    void Put(const char* relative) const {
        const QString path = QString::fromStdString(Path(relative));
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QTemporaryDir root_;
};

TEST_P(Places, PanelFileAndProgramDirectoryFollowTheLayout) {
    const Layout& l = GetParam();
    QDir().mkpath(QString::fromStdString(Path("bin")));
    QDir().mkpath(QString::fromStdString(Path("work")));
    if (l.besideProgram) {
        Put("bin/panel.uir");
    }
    if (l.inDataDir) {
        Put("share/ovextar/panel.uir");
    }
    if (l.inWorkingDir) {
        Put("work/panel.uir");
    }
    const std::string found =
        FindShippedFile("panel.uir", ShippedFileDirs(Path("bin")), Path("work"));
    EXPECT_EQ(QDir::cleanPath(QString::fromStdString(found)).toStdString(), Path(l.found));
    EXPECT_EQ(ChooseProgramDir("panel.uir", Path("bin"), Path("home/Documents"), "ovextar"),
              Path(l.programDir));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, Places,
    ::testing::Values(Layout{"BuildFolder", true, false, false, "bin/panel.uir", "bin"},
                      Layout{"BesideTheProgramWins", true, true, true, "bin/panel.uir", "bin"},
                      Layout{"Installed", false, true, false, "share/ovextar/panel.uir",
                             "home/Documents/ovextar"},
                      Layout{"InstalledWhateverTheWorkingDirectory", false, true, true,
                             "share/ovextar/panel.uir", "home/Documents/ovextar"},
                      Layout{"OnlyInTheWorkingDirectory", false, false, true, "work/panel.uir",
                             "home/Documents/ovextar"},
                      Layout{"NowhereNamesTheWorkingDirectory", false, false, false,
                             "work/panel.uir", "home/Documents/ovextar"}),
    [](const auto& row) { return std::string(row.param.name); });

// The real panel file beside the test program is found by its bare name from anywhere, even
// where the working directory holds a damaged file of that name.
TEST(PanelLookup, BareNameIsFoundBesideTheProgramWhateverTheWorkingDirectory) {
    QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    QFile junk(elsewhere.filePath("OVEXTAR1V12.uir"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a panel file\n");
    junk.close();
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    const int handle = ui::LoadPanel(0, "OVEXTAR1V12.uir", params::PANEL);
    QDir::setCurrent(saved);
    EXPECT_GT(handle, 0);
    ui::DiscardPanel(handle);
}

} // namespace
} // namespace ovx::platform::detail
