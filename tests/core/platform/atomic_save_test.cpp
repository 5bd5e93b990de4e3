// Atomic saves (a parameter file, an exported text): a save that fails keeps the old file and
// leaves no temporary file; one that succeeds replaces the file a link names and keeps the
// permissions of the file it replaces.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "support/hostile_files.h"
#include "support/row_name.h"
#include "support/scratch_dir.h"

namespace ovx::platform {
namespace {

struct SaveRow {
    const char* name;
    std::function<int(const std::string& path)> save; // writes more than 64 bytes
    friend void PrintTo(const SaveRow& row, std::ostream* os) { *os << row.name; }
};

class AtomicSave : public ::testing::TestWithParam<SaveRow> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.Valid());
        Put("target.dat", "old content\n");
    }
    std::string Path(const char* name) const { return dir_.File(name); }
    void Put(const char* name, const std::string& text) const {
        ovx::testing::WriteText(Path(name), text);
        ASSERT_EQ(ovx::testing::ReadText(Path(name)), text);
    }
    std::string Read(const char* name) const { return ovx::testing::ReadText(Path(name)); }
    std::vector<std::string> Entries() const { return ovx::testing::FileNames(dir_.Path()); }
    ovx::testing::ScratchDir dir_;
};

TEST_P(AtomicSave, FailedSaveKeepsTheOldFileAndLeavesNoTemporary) {
    std::optional<testing::FullFileSystem> full(std::in_place, 64);
    ASSERT_TRUE(full->Ok());
    const int result = GetParam().save(Path("target.dat"));
    full.reset();
    EXPECT_EQ(result, kFileWriteFailed);
    EXPECT_EQ(Read("target.dat"), "old content\n");
    EXPECT_EQ(Entries(), std::vector<std::string>{"target.dat"});
}

TEST_P(AtomicSave, KeepsThePermissionsOfTheFileItReplaces) {
    ASSERT_EQ(chmod(Path("target.dat").c_str(), 0640), 0);
    ASSERT_EQ(GetParam().save(Path("target.dat")), 0);
    struct stat st {};
    ASSERT_EQ(stat(Path("target.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_NE(Read("target.dat"), "old content\n");
}

TEST_P(AtomicSave, ReplacesTheFileALinkNamesAndKeepsTheLink) {
    ASSERT_EQ(symlink("target.dat", Path("link.dat").c_str()), 0);
    ASSERT_EQ(GetParam().save(Path("link.dat")), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(Path("link.dat")));
    EXPECT_NE(Read("target.dat"), "old content\n");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"link.dat", "target.dat"}));
}

int SaveArray(const std::string& path) {
    std::array<std::uint32_t, 16> values{};
    values.fill(60000);
    return ArrayToFile(path.c_str(), values.data(), 7, 16, 1, 0, 0, 0, 4, 1, 0);
}

int SaveText(const std::string& path) {
    return WriteTextFile(path.c_str(), std::string(200, 'x').c_str());
}

INSTANTIATE_TEST_SUITE_P(Saves, AtomicSave,
                         ::testing::Values(SaveRow{"ArrayToFile", SaveArray},
                                           SaveRow{"WriteTextFile", SaveText}),
                         ovx::testing::RowName{});

} // namespace
} // namespace ovx::platform
