// Adding source files to the job list: the rows that real generated media, broken files and
// names that are no files at all turn into, the cell texts, and the rules of the "Add File"
// request (what it clears, when it is ignored, the adding state, messages between files).
#include <QDir>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "BatchDriver.h"
#include "ConversionSettings.h"
#include "JobListModel.h"
#include "LocalFileNames.h"
#include "MediaFixtures.h"
#include "SourceFiles.h"
#include "base/FFLoad.h"
#include "base/PlatformBridge.h"
#include "decode/FFDecode.h"

using namespace vx;
using namespace vx::fixtures;

namespace {

TEST(CellTextTest, FrameRate) {
    const struct {
        AVRational Rate;
        const char* Text;
    } cases[] = {
        {{30000, 1001}, "29.97002997003"}, // 15 significant digits, trailing zeros dropped
        {{24000, 1001}, "23.976023976024"},
        {{25, 1}, "25"},
        {{50, 2}, "25"},
        {{-1, -1}, "1"}, // the decoder's reset value, shown for files without video
        {{0, 1}, "0"},
        {{1, 0}, ""}, // an unknown rate is no number
        {{0, 0}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FrameRateText(c.Rate), c.Text) << c.Rate.num << "/" << c.Rate.den;
}

TEST(CellTextTest, Duration) {
    const struct {
        int64_t Duration; // microseconds
        const char* Text;
    } cases[] = {
        {0, "00:00:00"},
        {999999, "00:00:00"},
        {(3600 + 2 * 60 + 3) * 1000000LL + 900000, "01:02:03"}, // fractions are dropped, not rounded
        {59 * 60 * 1000000LL + 59999999, "00:59:59"},
        {100 * 3600 * 1000000LL, "100:00:00"},
        {-1, ""},             // unknown, as the decoder reports it
        {AV_NOPTS_VALUE, ""}, // unknown, as the library reports it
    };
    for (const auto& c : cases)
        EXPECT_EQ(DurationText(c.Duration), c.Text) << c.Duration;
}

// The batch run's side of adding, with the state changes recorded.
class TFakeState : public IAddFileState {
public:
    bool ConversionRunning() const override { return Running; }
    bool AddFileInProgress() const override { return Adding; }
    void SetAddFileInProgress(bool AValue) override {
        Adding = AValue;
        Changes.push_back(AValue);
    }
    bool Running = false;
    bool Adding = false;
    std::vector<bool> Changes;
};

// Stands in for the window's message loop: counts the calls and runs what a handler of the
// window would run between two files.
class TRecordingBridge : public IPlatformBridge {
public:
    bool IsMainThread() const override { return true; }
    void CallInMainThread(const std::function<void()>& fn) override { fn(); }
    void ProcessPendingMessages() override {
        ++Calls;
        if (OnMessages)
            OnMessages();
    }
    int Calls = 0;
    std::function<void()> OnMessages;
};

// A row's content; Checked rows only are added.
struct TRowText {
    QString Caption, VideoSize, FrameRate, Duration, Output, Progress, Frames;
    bool operator==(const TRowText&) const = default;
};

std::ostream& operator<<(std::ostream& AOut, const TRowText& ARow) {
    return AOut << "[" << ARow.Caption.toStdString() << " | " << ARow.VideoSize.toStdString() << " | "
                << ARow.FrameRate.toStdString() << " | " << ARow.Duration.toStdString() << " | "
                << ARow.Output.toStdString() << " | " << ARow.Progress.toStdString() << " | "
                << ARow.Frames.toStdString() << "]";
}

TJobProgress Finished(TJobResult AResult) {
    TJobProgress progress;
    progress.State = TJobState::Finished;
    progress.Result = AResult;
    return progress;
}

TJobProgress Unreadable() {
    TJobProgress progress;
    progress.State = TJobState::Unreadable;
    return progress;
}

class AddFilesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
        if (Media)
            return;
        Media = std::make_unique<TTempDir>();
        WriteMedia(Media->File("clip.avi"), AviMpeg4Mp3());
        WriteMedia(Media->File("ntsc.avi"), NtscFrameRate());
        WriteMedia(Media->File("tone.mp3"), Mp3AudioOnly());
        WriteMedia(Media->File("odd.avi"), OddSize());
        WriteMedia(Media->File("two.mkv"), TwoVideoStreams());
        WriteMedia(Media->File("raw.m1v"), RawMpeg1Video());
        WriteTextFile(Media->File("notmedia.avi"), "this is not a movie\n");
        WriteTextFile(Media->File("empty.avi"), "");
        WriteTruncatedCopy(Media->File("clip.avi"), Media->File("header.avi"), 600);
        std::string noise(64 * 1024, '\0');
        uint32_t x = 2463534242u;
        for (char& c : noise) {
            x ^= x << 13, x ^= x >> 17, x ^= x << 5;
            c = char(x);
        }
        WriteTextFile(Media->File("noise.mp4"), noise);
        QDir().mkpath(QString::fromStdString(Media->File("folder.avi")));
        ::mkfifo(Media->File("pipe.avi").c_str(), 0644);
    }
    static QString Source(const char* AName) { return QString::fromStdString(Media->File(AName)); }
    static inline std::unique_ptr<TTempDir> Media;

    void SetUp() override {
        SetPlatformBridge(&Bridge);
        Settings.FillComboOutputFormat();
        Settings.SelectOutputFormat(Settings.ComboOutputFormat.IndexOf("MP4 - MPEG4 Video (*.mp4)"));
        ASSERT_EQ(Settings.CurrentOutputFormat(), "MP4");
        Adder.OnScrollToRow = [this](TSourceFileAdder* ASender, int ARow) {
            EXPECT_EQ(ASender, &Adder);
            Scrolled.push_back(ARow);
        };
        Adder.OnExecuteOpenDialog = [this](TSourceFileAdder* ASender) {
            EXPECT_EQ(ASender, &Adder);
            ++DialogShown;
            return Chosen;
        };
    }
    void TearDown() override { SetPlatformBridge(nullptr); }

    TRowText Row(int ARow) const {
        EXPECT_TRUE(List.Checked(ARow));
        return {List.Caption(ARow),          List.Cell(ARow, jcVideoSize), List.Cell(ARow, jcFrameRate),
                List.Cell(ARow, jcDuration), List.Cell(ARow, jcOutput),    List.Cell(ARow, jcProgress),
                List.Cell(ARow, jcFrames)};
    }
    static TRowText ErrorRow(const QString& AFile) { return {AFile, "", "", "", "", "Error", ""}; }
    // A list holding the results of an earlier run.
    void AddEarlierRows() {
        const TJobProgress results[] = {Finished(TJobResult::Done), Unreadable(),
                                        Finished(TJobResult::Failed)};
        for (TJobProgress progress : results) {
            const int row = List.AddRow(Source("clip.avi"));
            progress.Frames = 50;
            List.SetProgress(row, progress);
        }
    }

    TRecordingBridge Bridge;
    TJobListModel List;
    TFFDecoder Decoder;
    TConversionSettings Settings;
    TFakeState State;
    TSourceFileAdder Adder{List, Decoder, Settings, State};
    QStringList Chosen;
    int DialogShown = 0;
    std::vector<int> Scrolled;
};

TEST_F(AddFilesTest, EachSourceGivesItsRow) {
    const struct {
        const char* File;
        const char* Size;
        const char* Rate;
        const char* Duration;
    } media[] = {
        {"clip.avi", "320x240", "25", "00:00:02"},
        {"ntsc.avi", "320x240", "29.97002997003", "00:00:02"},
        {"tone.mp3", "-1x-1", "1", "00:00:03"}, // no video: the decoder's reset values
        {"odd.avi", "175x97", "25", "00:00:01"},
        {"two.mkv", "320x240", "25", "00:00:02"}, // the first of two video streams
        // 5.4 s that the library's guess from the stream's bit rate makes 0.018 s
        {"raw.m1v", "320x240", "25", "00:00:05"},
    };
    const char* broken[] = {"notmedia.avi", "empty.avi", "header.avi", "noise.mp4",
                            "folder.avi",   "pipe.avi",  "missing.avi"};
    for (const auto& m : media) {
        SCOPED_TRACE(m.File);
        const int row = Adder.AddFile(Source(m.File));
        EXPECT_EQ(Row(row), (TRowText{Source(m.File), m.Size, m.Rate, m.Duration, "MP4", "", ""}));
    }
    for (const char* file : broken) {
        SCOPED_TRACE(file);
        const int row = Adder.AddFile(Source(file));
        EXPECT_EQ(Row(row), ErrorRow(Source(file)));
    }
    EXPECT_EQ(List.Count(), int(std::size(media) + std::size(broken)));
}

// A file dialog or a drop hands over names as Qt decoded them: a name that is not UTF-8 arrives
// with U+FFFD for its odd bytes. The adder finds the file again by its bytes.
TEST_F(AddFilesTest, ANameQtDecodedLossilyIsFoundByItsBytes) {
    const std::string bytes = Media->File("odd\xFF.avi");
    ASSERT_EQ(::link(Media->File("odd.avi").c_str(), bytes.c_str()), 0);
    const QString exact = FromLocalBytes(bytes);
    const QString decoded = QFile::decodeName(QByteArray::fromStdString(bytes));
    ASSERT_NE(decoded, exact);
    Adder.AddFiles({decoded});
    ASSERT_EQ(List.Count(), 1);
    EXPECT_EQ(LocalBytes(List.Caption(0)), bytes);
    EXPECT_EQ(List.Cell(0, jcVideoSize), "175x97");
    ::unlink(bytes.c_str());
}

TEST_F(AddFilesTest, AudioOnlyFileLooksOnePastTheLastStream) {
    Adder.AddFile(Source("tone.mp3"));
    ASSERT_EQ(Decoder.StreamCount(), 1);
    EXPECT_EQ(Decoder.LastErrMsg(), "stream index #1 is invalid.");
    // The decoder keeps the file for whoever asks next.
    EXPECT_EQ(QString::fromStdU16String(Decoder.FileName()), Source("tone.mp3"));
}

TEST_F(AddFilesTest, ThreeFilesWithTheSecondBrokenGiveThreeRows) {
    Chosen = {Source("clip.avi"), Source("notmedia.avi"), Source("ntsc.avi")};
    std::vector<int> rowsAtMessages;
    std::vector<bool> addingAtMessages;
    Bridge.OnMessages = [&] {
        rowsAtMessages.push_back(List.Count());
        addingAtMessages.push_back(State.AddFileInProgress());
    };
    Adder.ButtonAddFileClick();

    ASSERT_EQ(List.Count(), 3);
    EXPECT_EQ(Row(0), (TRowText{Chosen[0], "320x240", "25", "00:00:02", "MP4", "", ""}));
    EXPECT_EQ(Row(1), ErrorRow(Chosen[1]));
    EXPECT_EQ(Row(2), (TRowText{Chosen[2], "320x240", "29.97002997003", "00:00:02", "MP4", "", ""}));
    // Messages are processed after each row (and while waiting for one), with the adding state
    // set throughout.
    EXPECT_TRUE(std::is_sorted(rowsAtMessages.begin(), rowsAtMessages.end()));
    for (int rows = 1; rows <= 3; ++rows)
        EXPECT_NE(std::find(rowsAtMessages.begin(), rowsAtMessages.end(), rows), rowsAtMessages.end())
            << rows;
    addingAtMessages.erase(std::unique(addingAtMessages.begin(), addingAtMessages.end()),
                           addingAtMessages.end());
    EXPECT_EQ(addingAtMessages, (std::vector<bool>{true}));
    EXPECT_EQ(Scrolled, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(State.Changes, (std::vector<bool>{true, false}));
    EXPECT_EQ(DialogShown, 1);
}

// A file that takes long to read holds up its own row and those after it, never the reading of
// the others; a file held until the adding is cancelled adds nothing after the cancel.
class SlowFileTest : public AddFilesTest {
protected:
    void SetUp() override {
        AddFilesTest::SetUp();
        Adder.Probe = [gate = Gate](const QString& AFile) {
            if (AFile.contains("notmedia")) {
                std::unique_lock lock(gate->Lock);
                gate->Changed.wait(lock, [&] { return gate->Released; });
            } else {
                ++gate->OthersRead;
            }
            return TSourceFileAdder::ProbeSource(AFile);
        };
    }
    void TearDown() override {
        Release(); // a worker must not stay held after the test
        AddFilesTest::TearDown();
    }
    void Release() {
        std::lock_guard lock(Gate->Lock);
        Gate->Released = true;
        Gate->Changed.notify_all();
    }
    bool Released() {
        std::lock_guard lock(Gate->Lock);
        return Gate->Released;
    }

    struct TGate {
        std::mutex Lock;
        std::condition_variable Changed;
        bool Released = false;
        std::atomic<int> OthersRead{0};
    };
    std::shared_ptr<TGate> Gate = std::make_shared<TGate>();
};

TEST_F(SlowFileTest, RowsKeepTheOrderGivenWhileASlowFileIsRead) {
    Chosen = {Source("clip.avi"), Source("notmedia.avi"), Source("ntsc.avi"), Source("odd.avi")};
    int mostRowsWhileHeld = 0;
    int rounds = 0;
    Bridge.OnMessages = [&] {
        if (Released())
            return;
        mostRowsWhileHeld = std::max(mostRowsWhileHeld, List.Count());
        // Held until the files behind it have been read (or for long enough to tell).
        if (Gate->OthersRead == 3 || ++rounds > 3000)
            Release();
    };
    Adder.ButtonAddFileClick();

    EXPECT_EQ(Gate->OthersRead, 3) << "the files behind the slow one were read while it was";
    EXPECT_EQ(mostRowsWhileHeld, 1) << "no row comes before the slow file's";
    ASSERT_EQ(List.Count(), 4);
    EXPECT_EQ(Row(0), (TRowText{Chosen[0], "320x240", "25", "00:00:02", "MP4", "", ""}));
    EXPECT_EQ(Row(1), ErrorRow(Chosen[1]));
    EXPECT_EQ(Row(2), (TRowText{Chosen[2], "320x240", "29.97002997003", "00:00:02", "MP4", "", ""}));
    EXPECT_EQ(Row(3), (TRowText{Chosen[3], "175x97", "25", "00:00:01", "MP4", "", ""}));
    EXPECT_EQ(Scrolled, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_FALSE(State.AddFileInProgress());
}

TEST_F(SlowFileTest, ClearingTheListWhileAddingStopsTheAdding) {
    Chosen = {Source("clip.avi"), Source("notmedia.avi"), Source("ntsc.avi")};
    Bridge.OnMessages = [&] {
        if (List.Count() == 1) {
            List.Clear();
            Adder.CancelAdding();
        }
    };
    Adder.ButtonAddFileClick();
    // The adding ended without waiting for the file still being read.
    EXPECT_FALSE(Released());
    EXPECT_FALSE(State.AddFileInProgress());
    EXPECT_EQ(List.Count(), 0);

    // The held file's result, when it comes, is dropped; a new adding starts afresh.
    Bridge.OnMessages = nullptr;
    Release();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(List.Count(), 0);
    Adder.AddFiles({Source("odd.avi")});
    ASSERT_EQ(List.Count(), 1);
    EXPECT_EQ(List.Caption(0), Source("odd.avi"));
}

TEST_F(AddFilesTest, SameFileTwiceGivesTwoRows) {
    Adder.AddFiles({Source("odd.avi"), Source("odd.avi")});
    ASSERT_EQ(List.Count(), 2);
    EXPECT_EQ(Row(0), (TRowText{Source("odd.avi"), "175x97", "25", "00:00:01", "MP4", "", ""}));
    EXPECT_EQ(Row(1), Row(0));
}

TEST_F(AddFilesTest, OutputCellShowsTheSelectedFormat) {
    Settings.SelectOutputFormat(Settings.ComboOutputFormat.IndexOf("RM - Real Video (*.rm)"));
    Adder.AddFiles({Source("odd.avi"), Source("empty.avi")});
    EXPECT_EQ(List.Cell(0, jcOutput), "RM");
    EXPECT_EQ(List.Cell(1, jcOutput), "");
}

TEST_F(AddFilesTest, RequestEmptiesEarlierResultsEvenWhenCancelled) {
    AddEarlierRows();
    Adder.ButtonAddFileClick(); // the dialog chooses nothing
    EXPECT_EQ(DialogShown, 1);
    ASSERT_EQ(List.Count(), 3);
    // The results go; an unreadable file's "Error" mark stays for as long as its row.
    const QString kept[] = {"", "Error", ""};
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(List.Cell(row, jcProgress), kept[row]) << row;
        EXPECT_EQ(List.Cell(row, jcFrames), "50"); // only the results go
    }
    EXPECT_EQ(State.Changes, (std::vector<bool>{true, false}));

    // Dropped files clear them the same way.
    List.SetProgress(0, Finished(TJobResult::Done));
    Adder.AddFiles({Source("odd.avi")});
    EXPECT_EQ(List.Cell(0, jcProgress), "");
    EXPECT_EQ(List.Count(), 4);
}

TEST_F(AddFilesTest, RequestIgnoredWhileConvertingOrAdding) {
    const struct { bool Running, Adding; } states[] = {{true, false}, {false, true}};
    for (const auto& s : states) {
        SCOPED_TRACE(testing::Message() << "running " << s.Running << ", adding " << s.Adding);
        List.Clear();
        AddEarlierRows();
        State.Running = s.Running;
        State.Adding = s.Adding;
        State.Changes.clear();
        Chosen = {Source("odd.avi")};
        Adder.ButtonAddFileClick();
        Adder.AddFiles({Source("odd.avi")});
        EXPECT_EQ(DialogShown, 0);
        EXPECT_EQ(List.Count(), 3);
        EXPECT_EQ(List.Cell(1, jcProgress), "Error");
        EXPECT_TRUE(State.Changes.empty());
        EXPECT_EQ(State.Adding, s.Adding);
    }
}

TEST_F(AddFilesTest, SecondRequestDuringAddingIsIgnored) {
    // The user presses "Add File" again, and drops a file, while the first files are added.
    Chosen = {Source("odd.avi"), Source("notmedia.avi")};
    bool nested = false;
    Bridge.OnMessages = [&] {
        if (nested)
            return;
        nested = true;
        Adder.ButtonAddFileClick();
        Adder.AddFiles({Source("clip.avi")});
        EXPECT_TRUE(State.AddFileInProgress());
    };
    Adder.ButtonAddFileClick();
    EXPECT_EQ(DialogShown, 1);
    ASSERT_EQ(List.Count(), 2);
    EXPECT_EQ(List.Cell(1, jcProgress), "Error"); // not wiped by the second request
    EXPECT_EQ(State.Changes, (std::vector<bool>{true, false}));
}

TEST_F(AddFilesTest, FailureEndsTheLoopAndKeepsTheRows) {
    Chosen = {Source("odd.avi"), Source("clip.avi"), Source("ntsc.avi")};
    Adder.OnScrollToRow = [](TSourceFileAdder*, int ARow) {
        if (ARow == 1)
            throw std::runtime_error("view gone");
    };
    EXPECT_NO_THROW(Adder.ButtonAddFileClick());
    EXPECT_EQ(List.Count(), 2);
    EXPECT_FALSE(State.AddFileInProgress());

    // A dialog that fails adds nothing and leaves no adding state behind.
    Adder.OnExecuteOpenDialog = [](TSourceFileAdder*) -> QStringList {
        throw std::runtime_error("no dialog");
    };
    EXPECT_NO_THROW(Adder.ButtonAddFileClick());
    EXPECT_EQ(List.Count(), 2);
    EXPECT_FALSE(State.AddFileInProgress());
}

// What the window needs from the batch driver: while files are added, a conversion does not
// start, and the driver's state says so to the window's other handlers.
class TSilentUI : public TBatchUI {
public:
    TAnswer MessageBox(const QString& AText, const QString&, TIcon, TButtons) override {
        Messages << AText;
        return TAnswer::Ok;
    }
    QString OutputFolder() const override { return {}; }
    void BrowseOutputFolder() override {}
    void SetControlsEnabled(bool) override {}
    void SetProgressPosition(int) override {}
    void SetStatusText(int, const QString&) override {}
    void ScrollToRow(int) override {}
    QStringList Messages;
};

class TNoBuilder : public TRowTaskBuilder {
public:
    bool BuildOutputName(const TJobListModel&, int, const TBatchOutputNames&, QString&) override {
        return false;
    }
    bool BuildOutputOptions(const TJobListModel&, int, TOutputOptions&) override { return false; }
};

TEST_F(AddFilesTest, BatchDriverHoldsTheAddingState) {
    TFFEncoder encoder;
    TSilentUI ui;
    TNoBuilder builder;
    TBatchDriver driver(List, encoder, ui, builder);
    TBatchAddFileState state(driver);
    TSourceFileAdder adder(List, Decoder, Settings, state);
    adder.OnExecuteOpenDialog = [this](TSourceFileAdder*) { return QStringList{Source("empty.avi")}; };

    bool seen = false;
    Bridge.OnMessages = [&] {
        seen = driver.AddFileInProgress();
        driver.ButtonConvertClick(); // would empty the results and ask for an output folder
    };
    adder.ButtonAddFileClick();
    EXPECT_TRUE(seen);
    EXPECT_FALSE(driver.AddFileInProgress());
    EXPECT_TRUE(ui.Messages.isEmpty());
    ASSERT_EQ(List.Count(), 1);
    EXPECT_EQ(List.Cell(0, jcProgress), "Error");
}

} // namespace
