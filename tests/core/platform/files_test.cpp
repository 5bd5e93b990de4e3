// Text file arrays, the file popup and the program directory.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/timing.h"
#include "support/hostile_files.h"
#include "support/scratch_dir.h"

namespace ovx::platform {
namespace {

namespace fs = std::filesystem;

constexpr int kInt = 1;
constexpr int kUInt = 7;

class FileArrays : public ::testing::Test {
  protected:
    std::string Path(const char* name) const { return dir_.File(name); }
    void Write(const char* name, const std::string& text) const {
        ovx::testing::WriteText(Path(name), text);
        ASSERT_TRUE(fs::is_regular_file(Path(name)));
    }
    std::string Read(const char* name) const { return ovx::testing::ReadText(Path(name)); }
    // Split at newlines; a text ending in one ends with an empty line.
    std::vector<std::string> Lines(const char* name) const {
        return ovx::testing::SplitText(Read(name), '\n');
    }
    // The parameter-file shape: 16 unsigned values in one group.
    int LoadParams(const char* name, std::array<std::uint32_t, 16>& values) const {
        return FileToArray(Path(name).c_str(), values.data(), kUInt, 16, 1, 0, 0, 1);
    }
    ovx::testing::ScratchDir dir_;
};

TEST_F(FileArrays, ParameterFileKeepsFiveDigitValuesAtWidthFour) {
    const std::array<std::uint32_t, 16> saved{
        0, 1, 9999, 10000, 12345, 32767, 32768, 40000, 50000, 60000, 65534, 65535, 500, 2048, 7, 0};
    ASSERT_EQ(ArrayToFile(Path("p.dat").c_str(), saved.data(), kUInt, 16, 1, 0, 0, 0, 4, 1, 0), 0);
    const std::vector<std::string> lines = Lines("p.dat");
    ASSERT_EQ(lines.size(), 17u); // 16 lines and the final newline
    EXPECT_EQ(lines[0], "   0");
    EXPECT_EQ(lines[2], "9999");
    EXPECT_EQ(lines[3], "10000");
    EXPECT_EQ(lines[11], "65535");
    std::array<std::uint32_t, 16> loaded{};
    ASSERT_EQ(LoadParams("p.dat", loaded), 0);
    EXPECT_EQ(loaded, saved);
}

TEST_F(FileArrays, GroupsAreWrittenAsTabSeparatedColumns) {
    std::array<std::int32_t, 3 * 1024> saved{};
    for (int i = 0; i < 1024; ++i) {
        saved[i] = i;
        saved[1024 + i] = 1023 - i;
        saved[2048 + i] = i * 1000 - 500000;
    }
    ASSERT_EQ(ArrayToFile(Path("lt.dat").c_str(), saved.data(), kInt, 3072, 3, 0, 0, 0, 6, 1, 0),
              0);
    const std::vector<std::string> lines = Lines("lt.dat");
    ASSERT_EQ(lines.size(), 1025u);
    EXPECT_EQ(lines[0], "     0\t  1023\t-500000");
    EXPECT_EQ(lines[1023], "  1023\t     0\t523000");
    std::array<std::int32_t, 3 * 1024> loaded{};
    ASSERT_EQ(FileToArray(Path("lt.dat").c_str(), loaded.data(), kInt, 3072, 3, 0, 0, 1), 0);
    EXPECT_EQ(loaded, saved);
}

TEST_F(FileArrays, ColumnsOfAMeasurementFileBecomeConsecutiveGroups) {
    Write("m.dat", "10 3\n20 2\n30 1\n40 0\n");
    std::array<std::int32_t, 8> groups{};
    ASSERT_EQ(FileToArray(Path("m.dat").c_str(), groups.data(), kInt, 8, 2, 0, 0, 1), 0);
    EXPECT_EQ(groups, (std::array<std::int32_t, 8>{10, 20, 30, 40, 3, 2, 1, 0}));
}

TEST_F(FileArrays, ReadingAcceptsAnySeparationAndLineEnd) {
    Write("a.dat", "1,2 , 3\t4\r\n5\r\n\r\n6,7,,8\n 9 10 11 12 13 14 15 +16");
    std::array<std::uint32_t, 16> loaded{};
    ASSERT_EQ(LoadParams("a.dat", loaded), 0);
    for (std::uint32_t i = 0; i < 16; ++i) {
        EXPECT_EQ(loaded[i], i + 1);
    }
}

TEST_F(FileArrays, ValuesAboveSixteenBitsLoadInFullForTheCallerToCut) {
    Write("big.dat", "65536 4294967295 0 0 0 0 0 0 0 0 0 0 0 0 0 0");
    std::array<std::uint32_t, 16> loaded{};
    ASSERT_EQ(LoadParams("big.dat", loaded), 0);
    EXPECT_EQ(loaded[0], 65536u);
    EXPECT_EQ(loaded[1], 4294967295u);
}

TEST_F(FileArrays, FailedReadsLeaveTheArrayUntouched) {
    const std::array<std::uint32_t, 16> before{9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    const struct {
        const char* text;
        int result;
    } cases[] = {
        {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15\n", kFileTooFewValues},
        {"", kFileTooFewValues},
        {"1 2 3 abc 5 6 7 8 9 10 11 12 13 14 15 16", kFileBadValue},
        {"1 2 3 4.5 5 6 7 8 9 10 11 12 13 14 15 16", kFileBadValue},
        {"1 2 3 -4 5 6 7 8 9 10 11 12 13 14 15 16", kFileBadValue},
        {"4294967296 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16", kFileBadValue},
        {"99999999999999999999999 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16", kFileBadValue},
    };
    for (const auto& c : cases) {
        Write("bad.dat", c.text);
        std::array<std::uint32_t, 16> loaded = before;
        EXPECT_EQ(LoadParams("bad.dat", loaded), c.result) << c.text;
        EXPECT_EQ(loaded, before) << c.text;
    }
}

TEST_F(FileArrays, SignedValuesOutsideThirtyTwoBitsAreBadValues) {
    Write("s.dat", "-2147483648 2147483647");
    std::array<std::int32_t, 2> ok{};
    ASSERT_EQ(FileToArray(Path("s.dat").c_str(), ok.data(), kInt, 2, 1, 0, 0, 1), 0);
    EXPECT_EQ(ok[0], INT32_MIN);
    EXPECT_EQ(ok[1], INT32_MAX);
    Write("s.dat", "-2147483649 0");
    EXPECT_EQ(FileToArray(Path("s.dat").c_str(), ok.data(), kInt, 2, 1, 0, 0, 1), kFileBadValue);
    EXPECT_EQ(ok[0], INT32_MIN);
}

TEST_F(FileArrays, MissingFileAndMissingDirectoryCannotBeOpened) {
    std::array<std::uint32_t, 16> values{};
    EXPECT_EQ(LoadParams("none.dat", values), kFileCannotOpen);
    const std::string nowhere = Path("no/such/dir/p.dat");
    EXPECT_EQ(ArrayToFile(nowhere.c_str(), values.data(), kUInt, 16, 1, 0, 0, 0, 4, 1, 0),
              kFileCannotOpen);
}

TEST_F(FileArrays, UnsupportedCodesAreRejected) {
    std::array<std::uint32_t, 16> v{};
    const std::string p = Path("x.dat");
    EXPECT_EQ(ArrayToFile(p.c_str(), v.data(), 3, 16, 1, 0, 0, 0, 4, 1, 0), kFileInvalidArgument);
    EXPECT_EQ(ArrayToFile(p.c_str(), v.data(), kUInt, 16, 3, 0, 0, 0, 4, 1, 0),
              kFileInvalidArgument);
    EXPECT_EQ(ArrayToFile(p.c_str(), v.data(), kUInt, 16, 1, 0, 0, 0, 4, 0, 0),
              kFileInvalidArgument);
    EXPECT_EQ(FileToArray(p.c_str(), v.data(), kUInt, 0, 1, 0, 0, 1), kFileInvalidArgument);
    EXPECT_FALSE(fs::exists(p));
}

// A write that fails half-way (here: the process may write no more than 64 bytes to a file)
// leaves the old file as it was and no temporary file behind.
TEST_F(FileArrays, FailedWriteKeepsTheOldFile) {
    Write("keep.dat", "old content\n");
    std::array<std::int32_t, 3072> values{};
    values.fill(123456);
    std::optional<testing::FullFileSystem> full(std::in_place, 64);
    ASSERT_TRUE(full->Ok());
    const int result =
        ArrayToFile(Path("keep.dat").c_str(), values.data(), kInt, 3072, 3, 0, 0, 0, 6, 1, 0);
    full.reset();
    EXPECT_EQ(result, kFileWriteFailed);
    EXPECT_EQ(Read("keep.dat"), "old content\n");
    EXPECT_EQ(ovx::testing::FileNames(dir_.Path()), std::vector<std::string>{"keep.dat"});
}

// The parameter file is small enough to sit in a write buffer: its failed write is seen too.
TEST_F(FileArrays, FailedWriteOfAParameterFileKeepsTheOldFile) {
    Write("TARpara.dat", "old content\n");
    const std::array<std::uint32_t, 16> values{60000, 60000, 60000, 60000, 60000, 60000,
                                               60000, 60000, 60000, 60000, 60000, 60000,
                                               60000, 60000, 60000, 60000};
    std::optional<testing::FullFileSystem> full(std::in_place, 64);
    ASSERT_TRUE(full->Ok());
    const int result =
        ArrayToFile(Path("TARpara.dat").c_str(), values.data(), kUInt, 16, 1, 0, 0, 0, 4, 1, 0);
    full.reset();
    EXPECT_EQ(result, kFileWriteFailed);
    EXPECT_EQ(Read("TARpara.dat"), "old content\n");
}

// Names that are no regular file: a FIFO (reading would block for ever), a link to an endless
// device, a link to a device node that a save would replace, and a file far too long.
struct OddFile {
    const char* name;
    std::function<void(const std::string& path)> make;
    int loadResult;
    int saveResult;
};

void PrintTo(const OddFile& row, std::ostream* os) {
    *os << row.name;
}

class OddFiles : public FileArrays, public ::testing::WithParamInterface<OddFile> {};

TEST_P(OddFiles, AreNeitherReadNorReplaced) {
    const std::string path = Path("odd.dat");
    GetParam().make(path);
    const bool linkBefore = fs::is_symlink(path);
    const bool fileBefore = fs::is_regular_file(path);
    std::array<std::uint32_t, 16> values{};
    values.fill(7);
    EXPECT_EQ(LoadParams("odd.dat", values), GetParam().loadResult);
    EXPECT_EQ(values[0], 7u);
    EXPECT_EQ(ArrayToFile(Path("odd.dat").c_str(), values.data(), kUInt, 16, 1, 0, 0, 0, 4, 1, 0),
              GetParam().saveResult);
    EXPECT_EQ(fs::is_symlink(path), linkBefore);
    EXPECT_EQ(fs::is_regular_file(path), fileBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Files, OddFiles,
    ::testing::Values(
        OddFile{"Fifo", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); },
                kFileNotRegular, kFileNotRegular},
        OddFile{"LinkToDevZero",
                [](const std::string& p) { ASSERT_EQ(symlink("/dev/zero", p.c_str()), 0); },
                kFileNotRegular, kFileNotRegular},
        OddFile{"LinkToDevNull",
                [](const std::string& p) { ASSERT_EQ(symlink("/dev/null", p.c_str()), 0); },
                kFileNotRegular, kFileNotRegular},
        OddFile{"Directory", [](const std::string& p) { ASSERT_TRUE(fs::create_directory(p)); },
                kFileNotRegular, kFileNotRegular},
        OddFile{"FarTooLong",
                [](const std::string& p) {
                    ovx::testing::WriteText(p, std::string(10 * 1000, ' ') + "1\n");
                    ASSERT_TRUE(fs::is_regular_file(p));
                },
                kFileTooLarge, 0}),
    [](const auto& row) { return std::string(row.param.name); });

// A save killed at its rename leaves its temporary file beside the target: the target's name, a
// dot and six letters or digits. The next save of that target removes it, and nothing that only
// looks like one: another length, another name, another case, a folder, a link, a subfolder.
enum class Kind { kFile, kFolder, kLink };

struct LeftoverRow {
    const char* name;
    const char* entry; // beside the target "TARpara.dat" (or in a subfolder of its folder)
    Kind kind;
    bool removed;
};

void PrintTo(const LeftoverRow& row, std::ostream* os) {
    *os << row.name;
}

class SaveLeftovers : public FileArrays, public ::testing::WithParamInterface<LeftoverRow> {};

TEST_P(SaveLeftovers, OnlyTheTargetsOwnAreRemovedByItsNextSave) {
    const LeftoverRow& row = GetParam();
    const std::string entry = Path(row.entry);
    std::error_code ec;
    fs::create_directories(fs::path(entry).parent_path(), ec);
    ASSERT_TRUE(fs::is_directory(fs::path(entry).parent_path()));
    Write("elsewhere.txt", "a link's target\n");
    if (row.kind == Kind::kFolder) {
        ASSERT_TRUE(fs::create_directory(entry));
    } else if (row.kind == Kind::kLink) {
        ASSERT_EQ(symlink(Path("elsewhere.txt").c_str(), entry.c_str()), 0);
    } else {
        ovx::testing::WriteText(entry, "1\n2\n3\n"); // the whole text of a killed save
        ASSERT_TRUE(fs::is_regular_file(entry));
    }
    std::array<std::uint32_t, 16> values{};
    values.fill(9);
    ASSERT_EQ(
        ArrayToFile(Path("TARpara.dat").c_str(), values.data(), kUInt, 16, 1, 0, 0, 0, 4, 1, 0), 0);
    EXPECT_EQ(fs::exists(entry) || fs::is_symlink(entry), !row.removed);
    EXPECT_TRUE(fs::exists(Path("elsewhere.txt")));
    std::array<std::uint32_t, 16> loaded{};
    EXPECT_EQ(LoadParams("TARpara.dat", loaded), 0);
    EXPECT_EQ(loaded, values);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SaveLeftovers,
    ::testing::Values(LeftoverRow{"Letters", "TARpara.dat.tsDwQd", Kind::kFile, true},
                      LeftoverRow{"LettersAndDigits", "TARpara.dat.a1B2c3", Kind::kFile, true},
                      LeftoverRow{"UsersBackup", "TARpara.dat.backup", Kind::kFile, false},
                      LeftoverRow{"UsersNumbered", "TARpara.dat.old001", Kind::kFile, false},
                      LeftoverRow{"UsersUpperCase", "TARpara.dat.BAK001", Kind::kFile, false},
                      LeftoverRow{"FiveCharacters", "TARpara.dat.tsDwQ", Kind::kFile, false},
                      LeftoverRow{"SevenCharacters", "TARpara.dat.tsDwQdx", Kind::kFile, false},
                      LeftoverRow{"NotLettersOrDigits", "TARpara.dat.tsD-Q_", Kind::kFile, false},
                      LeftoverRow{"NoDot", "TARpara.datXtsDwQd", Kind::kFile, false},
                      LeftoverRow{"OtherPrefix", "TARpara.txt.tsDwQd", Kind::kFile, false},
                      LeftoverRow{"OtherTarget", "para.dat.tsDwQd", Kind::kFile, false},
                      LeftoverRow{"OtherCase", "tarpara.dat.tsDwQd", Kind::kFile, false},
                      LeftoverRow{"LongerName", "xTARpara.dat.tsDwQd", Kind::kFile, false},
                      LeftoverRow{"Folder", "TARpara.dat.tsDwQd", Kind::kFolder, false},
                      LeftoverRow{"Link", "TARpara.dat.tsDwQd", Kind::kLink, false},
                      LeftoverRow{"InASubfolder", "sub/TARpara.dat.tsDwQd", Kind::kFile, false}),
    [](const auto& row) { return std::string(row.param.name); });

// A writable file in a folder that is not: no temporary file can be made, the file is written
// in place. (Root may write anywhere, so the folder cannot be closed to it.)
TEST_F(FileArrays, WritableFileInAClosedFolderIsWrittenInPlace) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root writes into any folder";
    }
    const std::string sub = Path("closed");
    ASSERT_TRUE(fs::create_directory(sub));
    const std::string file = sub + "/p.dat";
    ovx::testing::WriteText(file, "old\n");
    ASSERT_TRUE(fs::is_regular_file(file));
    ASSERT_EQ(chmod(sub.c_str(), 0500), 0);
    std::array<std::uint32_t, 16> values{};
    values.fill(42);
    const int result = ArrayToFile(file.c_str(), values.data(), kUInt, 16, 1, 0, 0, 0, 4, 1, 0);
    chmod(sub.c_str(), 0700);
    EXPECT_EQ(result, 0);
    std::array<std::uint32_t, 16> loaded{};
    EXPECT_EQ(FileToArray(file.c_str(), loaded.data(), kUInt, 16, 1, 0, 0, 1), 0);
    EXPECT_EQ(loaded, values);
}

// The folder of the running program, as the OS names it.
std::string ProgramDir() {
    return fs::read_symlink("/proc/self/exe").parent_path().string();
}

class ProjectDir : public ::testing::Test {
  protected:
    void TearDown() override { SetProjectDirForTesting(""); }
};

TEST_F(ProjectDir, DefaultsToTheProgramsDirectory) {
    char dir[260] = "stale";
    ASSERT_EQ(GetProjectDir(dir), 0);
    EXPECT_EQ(std::string(dir), ProgramDir());
}

TEST_F(ProjectDir, FullPathJoinsDirectoryAndName) {
    SetProjectDirForTesting("/opt/ovx/");
    char dir[260] = {};
    char full[260] = {};
    ASSERT_EQ(GetProjectDir(dir), 0);
    EXPECT_STREQ(dir, "/opt/ovx");
    ASSERT_EQ(GetFullPathFromProject("TARconfig.dat", full), 0);
    EXPECT_STREQ(full, "/opt/ovx/TARconfig.dat");
}

TEST_F(ProjectDir, PathThatDoesNotFitIsAnErrorNotCut) {
    const std::string dir = "/" + std::string(250, 'd');
    SetProjectDirForTesting(dir);
    char buffer[260] = "stale";
    ASSERT_EQ(GetProjectDir(buffer), 0);
    EXPECT_EQ(std::string(buffer), dir);
    EXPECT_EQ(GetFullPathFromProject("TARconfig.dat", buffer), kFileInvalidArgument);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(GetFullPathFromProject("1234567", buffer), 0) << "259 characters still fit";
    EXPECT_EQ(std::string(buffer).size(), 259u);
}

} // namespace
} // namespace ovx::platform
