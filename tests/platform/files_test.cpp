// Text file arrays, the file popup and the program directory.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <array>
#include <cstdint>
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
#include "support/modal_driver.h"
#include "ui/file_dialogs.h"

namespace ovx::platform {
namespace {

constexpr int kInt = 1;
constexpr int kUInt = 7;

class FileArrays : public ::testing::Test {
  protected:
    std::string Path(const char* name) const { return dir_.filePath(name).toStdString(); }
    void Write(const char* name, const QByteArray& text) const {
        QFile f(dir_.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray Read(const char* name) const {
        QFile f(dir_.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The parameter-file shape: 16 unsigned values in one group.
    int LoadParams(const char* name, std::array<std::uint32_t, 16>& values) const {
        return FileToArray(Path(name).c_str(), values.data(), kUInt, 16, 1, 0, 0, 1);
    }
    QTemporaryDir dir_;
};

TEST_F(FileArrays, ParameterFileKeepsFiveDigitValuesAtWidthFour) {
    const std::array<std::uint32_t, 16> saved{
        0, 1, 9999, 10000, 12345, 32767, 32768, 40000, 50000, 60000, 65534, 65535, 500, 2048, 7, 0};
    ASSERT_EQ(ArrayToFile(Path("p.dat").c_str(), saved.data(), kUInt, 16, 1, 0, 0, 0, 4, 1, 0), 0);
    const QList<QByteArray> lines = Read("p.dat").split('\n');
    ASSERT_EQ(lines.size(), 17); // 16 lines and the final newline
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
    const QList<QByteArray> lines = Read("lt.dat").split('\n');
    ASSERT_EQ(lines.size(), 1025);
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
    EXPECT_FALSE(QFile::exists(QString::fromStdString(p)));
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
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{"keep.dat"});
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
    std::function<void(const QString& path)> make;
    int loadResult;
    int saveResult;
};

void PrintTo(const OddFile& row, std::ostream* os) {
    *os << row.name;
}

class OddFiles : public FileArrays, public ::testing::WithParamInterface<OddFile> {};

TEST_P(OddFiles, AreNeitherReadNorReplaced) {
    const QString path = dir_.filePath("odd.dat");
    GetParam().make(path);
    const QFileInfo before(path);
    std::array<std::uint32_t, 16> values{};
    values.fill(7);
    EXPECT_EQ(LoadParams("odd.dat", values), GetParam().loadResult);
    EXPECT_EQ(values[0], 7u);
    EXPECT_EQ(ArrayToFile(Path("odd.dat").c_str(), values.data(), kUInt, 16, 1, 0, 0, 0, 4, 1, 0),
              GetParam().saveResult);
    const QFileInfo after(path);
    EXPECT_EQ(after.isSymLink(), before.isSymLink());
    EXPECT_EQ(after.isFile(), before.isFile());
}

INSTANTIATE_TEST_SUITE_P(
    Files, OddFiles,
    ::testing::Values(
        OddFile{"Fifo", [](const QString& p) { ASSERT_EQ(mkfifo(qPrintable(p), 0600), 0); },
                kFileNotRegular, kFileNotRegular},
        OddFile{"LinkToDevZero", [](const QString& p) { ASSERT_TRUE(QFile::link("/dev/zero", p)); },
                kFileNotRegular, kFileNotRegular},
        OddFile{"LinkToDevNull", [](const QString& p) { ASSERT_TRUE(QFile::link("/dev/null", p)); },
                kFileNotRegular, kFileNotRegular},
        OddFile{"Directory", [](const QString& p) { ASSERT_TRUE(QDir().mkdir(p)); },
                kFileNotRegular, kFileNotRegular},
        OddFile{"FarTooLong",
                [](const QString& p) {
                    QFile f(p);
                    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
                    const QByteArray line(1000, ' ');
                    for (int i = 0; i < 10; ++i) {
                        f.write(line);
                    }
                    f.write("1\n");
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
    const QString entry = dir_.filePath(row.entry);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(entry).absolutePath()));
    Write("elsewhere.txt", "a link's target\n");
    if (row.kind == Kind::kFolder) {
        ASSERT_TRUE(QDir().mkdir(entry));
    } else if (row.kind == Kind::kLink) {
        ASSERT_TRUE(QFile::link(dir_.filePath("elsewhere.txt"), entry));
    } else {
        QFile f(entry);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("1\n2\n3\n"); // the whole text of a killed save
    }
    std::array<std::uint32_t, 16> values{};
    values.fill(9);
    ASSERT_EQ(
        ArrayToFile(Path("TARpara.dat").c_str(), values.data(), kUInt, 16, 1, 0, 0, 0, 4, 1, 0), 0);
    EXPECT_EQ(QFileInfo(entry).exists() || QFileInfo(entry).isSymLink(), !row.removed);
    EXPECT_TRUE(QFileInfo::exists(dir_.filePath("elsewhere.txt")));
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
    const QString sub = dir_.filePath("closed");
    ASSERT_TRUE(QDir().mkdir(sub));
    const QString file = sub + "/p.dat";
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old\n");
    }
    ASSERT_TRUE(QFile::setPermissions(sub, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    std::array<std::uint32_t, 16> values{};
    values.fill(42);
    const int result =
        ArrayToFile(file.toLocal8Bit().constData(), values.data(), kUInt, 16, 1, 0, 0, 0, 4, 1, 0);
    QFile::setPermissions(sub,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(result, 0);
    std::array<std::uint32_t, 16> loaded{};
    EXPECT_EQ(FileToArray(file.toLocal8Bit().constData(), loaded.data(), kUInt, 16, 1, 0, 0, 1), 0);
    EXPECT_EQ(loaded, values);
}

class ProjectDir : public ::testing::Test {
  protected:
    void TearDown() override { SetProjectDirForTesting(""); }
};

TEST_F(ProjectDir, DefaultsToTheProgramsDirectory) {
    char dir[260] = "stale";
    ASSERT_EQ(GetProjectDir(dir), 0);
    EXPECT_EQ(QString::fromLocal8Bit(dir), QCoreApplication::applicationDirPath());
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
