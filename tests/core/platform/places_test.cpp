// Where the program finds its panel file and keeps the operator's files: a build folder, an
// installed tree (bin/ and share/ovextar/), and a working directory that must not take over.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/places.h"
#include "support/scratch_dir.h"

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

namespace fs = std::filesystem;

// The path without "." and ".." steps, doubled or trailing separators.
std::string Clean(const std::string& path) {
    std::string clean = fs::path(path).lexically_normal().string();
    if (clean.size() > 1 && clean.back() == '/') {
        clean.pop_back();
    }
    return clean;
}

class Places : public ::testing::TestWithParam<Layout> {
  protected:
    void SetUp() override { ASSERT_TRUE(root_.Valid()); }
    std::string Path(const char* relative) const { return Clean(root_.File(relative)); }
    void Put(const char* relative) const {
        const std::string path = Path(relative);
        std::error_code ec;
        fs::create_directories(fs::path(path).parent_path(), ec);
        ASSERT_TRUE(fs::is_directory(fs::path(path).parent_path()));
        ovx::testing::WriteText(path, "");
        ASSERT_TRUE(fs::exists(path));
    }
    ovx::testing::ScratchDir root_;
};

TEST_P(Places, PanelFileAndProgramDirectoryFollowTheLayout) {
    const Layout& l = GetParam();
    fs::create_directories(Path("bin"));
    fs::create_directories(Path("work"));
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
    EXPECT_EQ(Clean(found), Path(l.found));
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

} // namespace
} // namespace ovx::platform::detail
