// Recording of live frames over the real pty: the file holds the frames the controller sent,
// one line each, and a write error mid-run stops the recording while the run goes on.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/datacurve.h"
#include "app/inspect.h"
#include "app/panel_handles.h"
#include "app/recorder.h"
#include "app/runloop.h"
#include "app/strip.h"
#include "link/com232.h"
#include "link/datablock.h"
#include "live/curve_file.h"
#include "params/panels.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "support/german_locale.h"
#include "support/hostile_files.h"
#include "support/row_name.h"
#include "support/tool_fixture.h"
#include "ui/file_dialogs.h"
#include "ui/panel.h"

namespace ovx::app {
namespace {

using app::panelHandle;

std::vector<std::array<std::uint16_t, 7>>* gSent = nullptr;

// The notification as installed, plus a copy of words 0..6 of every frame.
void CopyingRx(int port, int eventWord, void* data) {
    link::RX_Receive_Function(port, eventWord, data);
    if ((eventWord & platform::kEvNotifyCount) != 0 && gSent != nullptr) {
        std::array<std::uint16_t, 7> w{};
        std::copy_n(link::pp, w.size(), w.begin());
        gSent->push_back(w);
    }
}

QStringList Lines(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    EXPECT_EQ(lines.takeLast(), QString()); // the file ends with a newline
    return lines;
}

class Recording : public testing::ToolFixture {
  protected:
    void SetUp() override {
        ToolFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        gSent = &sent_;
        StartTool();
        platform::InstallComCallback(link::com, link::eventMask, link::kFrameBytes, link::sync,
                                     CopyingRx, nullptr);
        path_ = dir_.filePath(QStringLiteral("rec.csv"));
    }
    void TearDown() override {
        StopRecording();
        gSent = nullptr;
        ToolFixture::TearDown();
    }
    // Runs the live view; step is asked on every pass and presses stop by returning true.
    void RunUntil(std::function<bool()> step) {
        QTimer timer;
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (step()) {
                timer.stop();
                CC_BTNStop(panelHandle, params::PANEL_BTNSTOP, ui::kEventCommit, nullptr, 0, 0);
            }
        });
        timer.start();
        CC_BTNRun(panelHandle, params::PANEL_BTNRUN, ui::kEventCommit, nullptr, 0, 0);
    }
    std::string Info() const {
        char text[400] = {};
        ui::GetCtrlVal(panelHandle, params::PANEL_RECORDINFO, text, sizeof text);
        return text;
    }

    QTemporaryDir dir_;
    QString path_;
    std::vector<std::array<std::uint16_t, 7>> sent_;
};

TEST_F(Recording, FileHoldsEveryFrameTheControllerSent) {
    ASSERT_EQ(StartRecording(path_.toLocal8Bit().constData()), 1);
    RunUntil([&] { return live::recordFrames >= 25; });
    StopRecording();
    const QStringList lines = Lines(path_);
    ASSERT_EQ(lines.size(), live::recordFrames + 1);
    EXPECT_EQ(lines[0], QString::fromLatin1(live::kRecordHeader));
    // A frame may arrive after the stop press and never be plotted: it is not recorded either.
    ASSERT_GE(static_cast<int>(sent_.size()), live::recordFrames);
    ASSERT_LE(static_cast<int>(sent_.size()), live::recordFrames + 1);
    double lastElapsed = -1.0;
    for (int i = 0; i < live::recordFrames; ++i) {
        const QStringList f = lines[i + 1].split(QLatin1Char(','));
        ASSERT_EQ(f.size(), 11) << lines[i + 1].toStdString();
        const auto& w = sent_[static_cast<std::size_t>(i)];
        const std::array<int, 6> words{w[0], w[1], w[2], w[3], w[5], w[6]};
        for (std::size_t k = 0; k < words.size(); ++k) {
            EXPECT_EQ(f[static_cast<int>(k) + 2].toInt(), words[k]) << "frame " << i;
        }
        EXPECT_GE(f[0].toDouble(), lastElapsed);
        lastElapsed = f[0].toDouble();
        EXPECT_EQ(f[1].size(), 23); // yyyy-MM-dd hh:mm:ss.zzz
        EXPECT_TRUE(f[8] == QLatin1String("0") || f[8] == QLatin1String("1"));
        EXPECT_EQ(f[10], QLatin1String("NORM"));
    }
    EXPECT_EQ(Info(), "Recorded " + std::to_string(live::recordFrames) + " frames to rec.csv");
}

// The window runs in the operator's locale; a German one must not put a decimal comma (an extra
// field) into the file.
TEST_F(Recording, UnderAGermanLocaleTheTimeKeepsItsDecimalPoint) {
    std::string why;
    ASSERT_FALSE(testing::GermanLocaleDir(&why).empty()) << why;
    testing::ScopedGermanLocale german;
    ASSERT_EQ(testing::ScopedGermanLocale::DecimalPoint(), ",");
    ASSERT_EQ(StartRecording(path_.toLocal8Bit().constData()), 1);
    RunUntil([&] { return live::recordFrames >= 5; });
    StopRecording();
    const QStringList lines = Lines(path_);
    ASSERT_EQ(lines.size(), live::recordFrames + 1);
    const QRegularExpression time(QStringLiteral("^\\d+\\.\\d{3}$"));
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList f = lines[i].split(QLatin1Char(','));
        ASSERT_EQ(f.size(), 11) << lines[i].toStdString();
        EXPECT_TRUE(time.match(f[0]).hasMatch()) << lines[i].toStdString();
    }
}

TEST_F(Recording, PausedChartStaysStillWhileRunAndRecordingGoOn) {
    ASSERT_EQ(StartRecording(path_.toLocal8Bit().constData()), 1);
    int atPause = -1;
    RunUntil([&] {
        if (atPause < 0 && live::recordFrames >= 5) {
            atPause = live::recordFrames;
            ui::SetCtrlVal(panelHandle, params::PANEL_TOGBTNPAUSE, 1);
            app::CC_TOGBTNPause(panelHandle, params::PANEL_TOGBTNPAUSE, ui::kEventCommit, nullptr,
                                0, 0);
        }
        return atPause >= 0 && live::recordFrames >= atPause + 10;
    });
    int paused = -1;
    ui::GetCtrlAttribute(panelHandle, params::PANEL_STRIPNORM, ui::kAttrChartPaused, &paused);
    EXPECT_EQ(paused, 1);
    EXPECT_GE(live::recordFrames, atPause + 10);
    ui::SetCtrlVal(panelHandle, params::PANEL_TOGBTNPAUSE, 0);
    app::CC_TOGBTNPause(panelHandle, params::PANEL_TOGBTNPAUSE, ui::kEventCommit, nullptr, 0, 0);
    ui::GetCtrlAttribute(panelHandle, params::PANEL_STRIPNORM, ui::kAttrChartPaused, &paused);
    EXPECT_EQ(paused, 0);
}

TEST_F(Recording, WriteErrorMidRunStopsRecordingAndTheRunGoesOn) {
    ASSERT_EQ(StartRecording(path_.toLocal8Bit().constData()), 1);
    // The file may grow by about five lines more: then every write fails with EFBIG.
    std::optional<testing::FullFileSystem> full(
        std::in_place, static_cast<rlim_t>(QFileInfo(path_).size() + 5 * 40));
    ASSERT_TRUE(full->Ok());
    int framesAfterError = 0;
    RunUntil([&] {
        if (live::recording == 0) {
            framesAfterError = static_cast<int>(sent_.size()) - live::recordFrames;
        }
        return framesAfterError >= 10 || sent_.size() > 500;
    });
    full.reset();

    EXPECT_EQ(live::recording, 0);
    EXPECT_GE(framesAfterError, 10); // the run went on
    EXPECT_GT(live::recordFrames, 0);
    EXPECT_EQ(StatusText(), "Recording stopped: cannot write rec.csv");
    EXPECT_EQ(Lines(path_).size(), live::recordFrames + 1); // whole lines only
    int toggle = -1;
    ui::GetCtrlVal(panelHandle, params::PANEL_TOGBTNRECORD, &toggle);
    EXPECT_EQ(toggle, 0);
}

TEST_F(Recording, ToggleAsksForTheFileAndCancelLeavesItOff) {
    std::string defaultName;
    ui::SetFileSelectResponder([&](const ui::FileSelectRequest& r, std::string&) {
        defaultName = r.defaultName;
        return 0;
    });
    ui::SetCtrlVal(panelHandle, params::PANEL_TOGBTNRECORD, 1);
    CC_TOGBTNRecord(panelHandle, params::PANEL_TOGBTNRECORD, ui::kEventCommit, nullptr, 0, 0);
    EXPECT_EQ(live::recording, 0);
    EXPECT_EQ(defaultName.rfind("ovextar_", 0), 0U);
    EXPECT_EQ(defaultName.size(), std::string("ovextar_20261207_151500.csv").size());
    int toggle = -1;
    ui::GetCtrlVal(panelHandle, params::PANEL_TOGBTNRECORD, &toggle);
    EXPECT_EQ(toggle, 0);

    ui::SetFileSelectResponder([&](const ui::FileSelectRequest&, std::string& p) {
        p = dir_.filePath(QStringLiteral("no/such/dir/x.csv")).toStdString();
        return 1;
    });
    ui::SetCtrlVal(panelHandle, params::PANEL_TOGBTNRECORD, 1);
    CC_TOGBTNRecord(panelHandle, params::PANEL_TOGBTNRECORD, ui::kEventCommit, nullptr, 0, 0);
    EXPECT_EQ(live::recording, 0);
    EXPECT_EQ(StatusText(), "Recording not started: cannot write x.csv");
}

TEST(CurveFile, HoldsTheCurveArraysRowByRowAndFailsInAMissingDirectory) {
    for (int i = 0; i < 256; ++i) {
        link::yArrayA[i] = static_cast<std::uint16_t>(i * 3);
        link::yArrayB[i] = static_cast<std::uint16_t>(60000 + i);
        live::upArray[i] = 700;
        live::loArray[i] = 1;
        live::refArray[i] = 500;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("curve.csv"));
    ASSERT_EQ(live::SaveCurveFile(path.toLocal8Bit().constData()), 1);
    const QStringList lines = Lines(path);
    ASSERT_EQ(lines.size(), live::kCurveFilePoints + 1);
    EXPECT_EQ(lines[0], QString::fromLatin1(live::kCurveHeader));
    EXPECT_EQ(lines[1], QStringLiteral("0,0,60000,700,1,500"));
    EXPECT_EQ(lines[128], QStringLiteral("127,381,60127,700,1,500"));
    EXPECT_EQ(live::SaveCurveFile(
                  dir.filePath(QStringLiteral("none/curve.csv")).toLocal8Bit().constData()),
              0);
}

// A recording or a curve file named as a folder, a FIFO or a link to one: refused at once with
// its text (an open of a FIFO for writing would wait for a reader for ever; a save would put a
// regular file in its place), and the name left as it was.
struct HostileCsvRow {
    const char* name;
    testing::Hostile kind;
    bool curve; // the data-curve save, else the recording
    const char* status;
};

void PrintTo(const HostileCsvRow& row, std::ostream* os) {
    *os << row.name;
}

class HostileCsvFile : public testing::PanelFixture,
                       public ::testing::WithParamInterface<HostileCsvRow> {};

TEST_P(HostileCsvFile, IsRefusedWithItsTextAndLeftAsItWas) {
    const HostileCsvRow& row = GetParam();
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("out.csv")).toStdString();
    ASSERT_TRUE(testing::MakeHostile(row.kind, path));
    const unsigned before = testing::NodeType(path),
                   targetBefore = testing::NodeType(path + ".fifo");
    std::optional<testing::FifoPeer> peer; // a reader, so that a write that is let through fails
    if (row.kind != testing::Hostile::kDirectory) {
        ASSERT_TRUE(peer.emplace(path).Ok());
    }
    EXPECT_EQ(row.curve ? live::SaveCurveFile(path.c_str()) : StartRecording(path.c_str()), 0);
    EXPECT_EQ(StatusText(), row.status);
    EXPECT_EQ(live::recording, 0);
    EXPECT_EQ(testing::NodeType(path), before);
    EXPECT_EQ(testing::NodeType(path + ".fifo"), targetBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, HostileCsvFile,
    ::testing::Values(HostileCsvRow{"RecordToDirectory", testing::Hostile::kDirectory, false,
                                    "Recording not started: out.csv is not a regular file"},
                      HostileCsvRow{"RecordToFifo", testing::Hostile::kFifo, false,
                                    "Recording not started: out.csv is not a regular file"},
                      HostileCsvRow{"RecordToLinkToFifo", testing::Hostile::kLinkToFifo, false,
                                    "Recording not started: out.csv is not a regular file"},
                      HostileCsvRow{"CurveToDirectory", testing::Hostile::kDirectory, true,
                                    "Data curve not saved: out.csv is not a regular file"},
                      HostileCsvRow{"CurveToFifo", testing::Hostile::kFifo, true,
                                    "Data curve not saved: out.csv is not a regular file"},
                      HostileCsvRow{"CurveToLinkToFifo", testing::Hostile::kLinkToFifo, true,
                                    "Data curve not saved: out.csv is not a regular file"}),
    testing::RowName());

} // namespace
} // namespace ovx::app
