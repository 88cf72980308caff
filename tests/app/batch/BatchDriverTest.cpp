// The batch loop against real task objects converting generated media, with a user
// interface that records what it is shown and answers the questions put to it.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "BatchDriver.h"
#include "MediaFixtures.h"
#include "base/FFLoad.h"

using namespace vx;

namespace {

struct TMessage {
    QString Text;
    QString Caption;
    TBatchUI::TIcon Icon;
    TBatchUI::TButtons Buttons;
};

class TFakeUI : public TBatchUI {
public:
    TAnswer MessageBox(const QString& AText, const QString& ACaption, TIcon AIcon,
                       TButtons AButtons) override {
        Messages.push_back({AText, ACaption, AIcon, AButtons});
        if (OnQuestion && AButtons == TButtons::YesNo)
            return OnQuestion();
        return AButtons == TButtons::YesNo ? TAnswer::Yes : TAnswer::Ok;
    }
    QString OutputFolder() const override { return Folder; }
    void BrowseOutputFolder() override { ++Browsed; }
    void SetControlsEnabled(bool AEnabled) override { ControlStates.push_back(AEnabled); }
    void SetProgressPosition(int APosition) override { Position = APosition; }
    void SetStatusText(int APanel, const QString& AText) override {
        if (APanel == 1)
            Status = AText;
    }
    void ScrollToRow(int) override {}

    QStringList MessageTexts() const {
        QStringList texts;
        for (const TMessage& m : Messages)
            texts << m.Text;
        return texts;
    }

    QString Folder;
    std::function<TAnswer()> OnQuestion;
    std::vector<TMessage> Messages;
    std::vector<bool> ControlStates;
    int Browsed = 0;
    int Position = -1;
    QString Status;
};

// Copies each source into the output folder: video into AVI, audio-only into Matroska.
// A row whose caption contains "noname" gets no output name, one with "nobuild" fails in
// its output options.
class TRemuxBuilder : public TRowTaskBuilder {
public:
    explicit TRemuxBuilder(const TFakeUI& AUI) : FUI(AUI) {}
    // A name the batch has given already gets a number, as the window's builder does it.
    bool BuildOutputName(const TJobListModel& AList, int ARow, const TBatchOutputNames& ABatch,
                         QString& AOutputFileName) override {
        if (AList.Caption(ARow).contains("noname"))
            return false; // LastErrMsg() says why
        const QFileInfo source(AList.Caption(ARow));
        const QString ext = source.suffix() == "mp3" ? ".mka" : ".avi";
        AOutputFileName = FUI.Folder + "/" + source.completeBaseName() + ext;
        for (int n = 1; ABatch.IsUsed(AOutputFileName); ++n)
            AOutputFileName = FUI.Folder + "/" + source.completeBaseName() + QString(" (%1)").arg(n) + ext;
        return true;
    }
    bool BuildOutputOptions(const TJobListModel& AList, int ARow, TOutputOptions& AOptions) override {
        AOptions.Reset();
        if (AList.Caption(ARow).contains("nobuild"))
            throw std::runtime_error("a list text is not a number");
        return true;
    }
    QString LastErrMsg() const override { return "no name to give"; }

private:
    const TFakeUI& FUI;
};

// A row whose file could not be read when it was added.
TJobProgress Unreadable() {
    TJobProgress progress;
    progress.State = TJobState::Unreadable;
    progress.Reason = "Invalid data found when processing input";
    return progress;
}

TJobProgress Finished(TJobResult AResult) {
    TJobProgress progress;
    progress.State = TJobState::Finished;
    progress.Result = AResult;
    return progress;
}

class BatchDriverTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
        if (!Media) {
            Media = std::make_unique<fixtures::TTempDir>();
            fixtures::WriteMedia(Media->File("clip.avi"), fixtures::AviMpeg4Mp3());
            fixtures::WriteMedia(Media->File("tone.mp3"), fixtures::Mp3AudioOnly());
            fixtures::WriteTextFile(Media->File("notmedia.avi"), "not a movie");
            // Long enough to be stopped while two rows convert it.
            fixtures::WriteMedia(Media->File("noise.avi"), fixtures::NoisePicture(320, 240, 6.0));
        }
    }
    static QString Source(const char* AName) { return QString::fromStdString(Media->File(AName)); }

    void SetUp() override {
        UI.Folder = QString::fromStdString(Out.Path());
        QObject::connect(&List, &QAbstractItemModel::dataChanged, [this](const QModelIndex& AIndex) {
            if (AIndex.column() == TJobListModel::ColumnOfCell(jcProgress))
                ProgressSeen[AIndex.row()] << List.Cell(AIndex.row(), jcProgress);
        });
    }

    // A source under another name, so that every row gets its own output.
    QString Copy(const char* ASource, const QString& AName) {
        const QString path = QString::fromStdString(Out.File("src")) + "/" + AName;
        QDir().mkpath(QFileInfo(path).path());
        QFile::copy(Source(ASource), path);
        return path;
    }

    // Keeps the main thread's events flowing until the run is over (at most 30 s).
    bool RunToEnd() {
        return ProcessUntil([this] { return !Driver.Converting(); }, 30000);
    }
    static bool ProcessUntil(const std::function<bool()>& ADone, int AMilliseconds) {
        QElapsedTimer clock;
        clock.start();
        while (!ADone()) {
            if (clock.elapsed() > AMilliseconds)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    static void Idle(int AMilliseconds) {
        ProcessUntil([] { return false; }, AMilliseconds);
    }

    QString Output(const QString& ABaseName) const { return UI.Folder + "/" + ABaseName; }

    static inline std::unique_ptr<fixtures::TTempDir> Media;
    fixtures::TTempDir Out;
    TJobListModel List;
    TFFEncoder Encoder;
    TFakeUI UI;
    TRemuxBuilder Builder{UI};
    TBatchDriver Driver{List, Encoder, UI, Builder};
    std::map<int, QStringList> ProgressSeen;
};

TEST_F(BatchDriverTest, ACheckedRowConvertsAndTheRunCompletes) {
    List.AddRow(Source("clip.avi"));
    List.SetProgress(0, Finished(TJobResult::Failed)); // an earlier run's result
    ProgressSeen.clear();

    Driver.ButtonConvertClick();
    EXPECT_TRUE(Driver.TaskActive());
    EXPECT_FALSE(Driver.FormCloseQuery()); // a task is running
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ(List.Cell(0, jcProgress), "Done");
    EXPECT_GE(List.Cell(0, jcFrames).toInt(), 45);
    // Cleared at the start, percentages while converting, then the result.
    const QStringList& seen = ProgressSeen[0];
    ASSERT_GE(seen.size(), 3);
    EXPECT_EQ(seen.front(), "");
    const QString lastPercent = seen.at(seen.size() - 2);
    ASSERT_TRUE(lastPercent.endsWith('%')) << lastPercent.toStdString();
    EXPECT_GE(lastPercent.chopped(1).toInt(), 95);
    EXPECT_EQ(UI.MessageTexts(), QStringList{TBatchDriver::CompletedText});
    EXPECT_EQ(UI.Messages[0].Caption, "Information");
    EXPECT_EQ(UI.ControlStates, (std::vector<bool>{false, true}));
    EXPECT_EQ(UI.Position, 0);
    EXPECT_EQ(UI.Status, "File Size : 0 MBytes"); // about 130 kB
    EXPECT_TRUE(QFileInfo(Output("clip.avi")).size() > 0);
    EXPECT_TRUE(Driver.FormCloseQuery());
    EXPECT_FALSE(Encoder.Working() && !Encoder.Terminated());
}

TEST_F(BatchDriverTest, WithNoRowCheckedNothingStartsAndTheUserIsToldAtOnce) {
    for (int i = 0; i < 3; ++i)
        List.AddRow(Source("clip.avi"), false);

    Driver.ButtonConvertClick();
    EXPECT_FALSE(Driver.Converting());
    EXPECT_FALSE(Driver.NextRowPending());
    EXPECT_EQ(UI.MessageTexts(), QStringList{TBatchDriver::NothingCheckedText});
    EXPECT_TRUE(UI.ControlStates.empty()) << "the window never went into its converting state";
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(List.Cell(i, jcProgress), "");
    EXPECT_FALSE(QFileInfo::exists(Output("clip.avi")));
}

TEST_F(BatchDriverTest, FailingRowsAreMarkedAndTheRunGoesOnToTheEnd) {
    List.AddRow(Copy("clip.avi", "one.avi"));
    List.AddRow(Source("notmedia.avi"));          // cannot be opened
    List.AddRow(Copy("clip.avi", "noname.avi"));  // building fails before AddTask
    List.AddRow(Copy("clip.avi", "nobuild.avi")); // building fails after AddTask
    List.AddRow(Copy("clip.avi", "two.avi"));
    List.AddRow(QString::fromStdString(Out.File("src")) + "/missing.avi"); // last row fails

    Driver.ButtonConvertClick();
    ASSERT_TRUE(RunToEnd());

    const QStringList results = {"Done", "Fail", "Fail", "Fail", "Done", "Fail"};
    for (int i = 0; i < List.Count(); ++i)
        EXPECT_EQ(List.Cell(i, jcProgress), results[i]) << i;
    // The run's end says what failed and why, never that all was converted.
    ASSERT_EQ(UI.MessageTexts().size(), 1);
    const QStringList lines = UI.MessageTexts()[0].split('\n');
    ASSERT_EQ(lines.size(), 6) << UI.MessageTexts()[0].toStdString();
    EXPECT_EQ(lines[0], "2 of 6 files converted, 4 failed");
    EXPECT_EQ(lines[1], "");
    // The engine's reason without the path that the line already names.
    EXPECT_EQ(lines[2], "notmedia.avi: Invalid data found when processing input");
    EXPECT_EQ(lines[3], "noname.avi: no name to give");
    EXPECT_EQ(lines[4], "nobuild.avi: a list text is not a number");
    EXPECT_TRUE(lines[5].startsWith("missing.avi: ")) << lines[5].toStdString();
    EXPECT_EQ(UI.Messages[0].Caption, "Information");
    EXPECT_TRUE(QFileInfo::exists(Output("two.avi")));
    EXPECT_FALSE(QFileInfo::exists(Output("nobuild.avi")));
}

// An unreadable file is not tried and keeps its mark; a retry runs the failed rows alone, checked
// or not, and leaves every other row's result as it was.
TEST_F(BatchDriverTest, RetryRunsOnlyTheFailedRowsAndAnUnreadableRowKeepsItsMark) {
    List.AddRow(Copy("clip.avi", "one.avi"));
    List.AddRow(Copy("clip.avi", "unreadable.avi"));
    List.SetProgress(1, Unreadable());
    const QString late = QString::fromStdString(Out.File("src")) + "/late.avi";
    List.AddRow(late); // not there yet: fails
    std::vector<int> started;
    QObject::connect(&Driver, &TBatchDriver::RowStarting, [&](int ARow) { started.push_back(ARow); });

    Driver.ButtonConvertClick();
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(List.Cell(0, jcProgress), "Done");
    EXPECT_EQ(List.Cell(1, jcProgress), "Error");
    EXPECT_EQ(List.Progress(1).Reason, "Invalid data found when processing input");
    EXPECT_EQ(List.Cell(2, jcProgress), "Fail");
    EXPECT_FALSE(QFileInfo::exists(Output("unreadable.avi"))) << "an unreadable file is not tried";
    ASSERT_EQ(UI.MessageTexts().size(), 1);
    EXPECT_TRUE(UI.MessageTexts()[0].startsWith("1 of 3 files converted, 2 failed\n\n"
                                                "unreadable.avi: Invalid data found when processing input\n"
                                                "late.avi: "))
        << UI.MessageTexts()[0].toStdString();
    EXPECT_EQ(Driver.FailedRows(), std::set<int>{2});

    QFile::copy(Source("clip.avi"), late);
    List.SetChecked(2, false); // a retry does not ask for the check mark
    started.clear();
    Driver.RetryFailedRows();
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(started, std::vector<int>{2});
    EXPECT_EQ(List.Cell(0, jcProgress), "Done");
    EXPECT_EQ(List.Cell(1, jcProgress), "Error");
    EXPECT_EQ(List.Cell(2, jcProgress), "Done");
    EXPECT_TRUE(QFileInfo::exists(Output("late.avi")));
    EXPECT_EQ(UI.MessageTexts().last(), TBatchDriver::CompletedText);

    // Nothing failed: a retry starts nothing.
    UI.Messages.clear();
    Driver.RetryFailedRows();
    EXPECT_FALSE(Driver.Converting());
    EXPECT_TRUE(UI.Messages.empty());
}

TEST_F(BatchDriverTest, EachRowFinishesOnceWithItsResultAndReason) {
    List.AddRow(Copy("clip.avi", "one.avi"));
    List.AddRow(Source("notmedia.avi"));          // the encoder refuses it
    List.AddRow(Copy("clip.avi", "noname.avi"));  // no output name
    List.AddRow(Copy("clip.avi", "nobuild.avi")); // its options cannot be built
    List.AddRow(Copy("clip.avi", "skipped.avi"), false);
    List.AddRow(Copy("clip.avi", "folder.avi")); // its output is a folder
    QDir().mkpath(Output("folder.avi"));
    struct TEnd {
        int Row;
        TJobResult Result;
        QString Reason;
    };
    std::vector<TEnd> ends;
    QObject::connect(&Driver, &TBatchDriver::RowFinished,
                     [&](int ARow, TJobResult AResult, const QString& AReason) {
                         // The row's record already holds what the signal says.
                         EXPECT_EQ(List.Progress(ARow).State, TJobState::Finished);
                         EXPECT_EQ(List.Progress(ARow).Result, AResult);
                         ends.push_back({ARow, AResult, AReason});
                     });

    Driver.ButtonConvertClick();
    ASSERT_TRUE(RunToEnd());

    ASSERT_EQ(ends.size(), 5u);
    const int rows[] = {0, 1, 2, 3, 5};
    const TJobResult results[] = {TJobResult::Done, TJobResult::Failed, TJobResult::Failed,
                                  TJobResult::Failed, TJobResult::Failed};
    for (size_t i = 0; i < ends.size(); ++i) {
        EXPECT_EQ(ends[i].Row, rows[i]) << i;
        EXPECT_EQ(ends[i].Result, results[i]) << i;
        EXPECT_EQ(ends[i].Reason.isEmpty(), i == 0) << i << ": " << ends[i].Reason.toStdString();
        EXPECT_EQ(List.Progress(ends[i].Row).Reason, ends[i].Reason);
    }
    EXPECT_EQ(ends[2].Reason, "no name to give");
    EXPECT_EQ(ends[3].Reason, "a list text is not a number");
    EXPECT_EQ(List.Progress(0).OutputFile, Output("one.avi"));
    EXPECT_EQ(List.Progress(4).State, TJobState::Waiting);
}

TEST_F(BatchDriverTest, TheNextRowStartsFromTheEventQueueWithoutATimer) {
    List.AddRow(Copy("clip.avi", "one.avi"), false);
    List.AddRow(Copy("clip.avi", "two.avi"), false);
    List.AddRow(Source("tone.mp3"));
    std::vector<int> started;
    QObject::connect(&Driver, &TBatchDriver::RowStarting, [&](int ARow) { started.push_back(ARow); });

    Driver.ButtonConvertClick();
    // The skipped first row queues the step to the next one rather than taking it at once.
    EXPECT_TRUE(started.empty());
    EXPECT_TRUE(Driver.NextRowPending());
    // Posted events alone (no timer ever fires here) walk on to the checked row.
    for (int i = 0; i < 10 && started.empty(); ++i)
        QCoreApplication::sendPostedEvents();
    EXPECT_EQ(started, std::vector<int>{2});
    EXPECT_TRUE(Driver.TaskActive());
    EXPECT_FALSE(Driver.NextRowPending());

    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(List.Cell(2, jcProgress), "Done");
    EXPECT_EQ(UI.MessageTexts(), QStringList{TBatchDriver::CompletedText});
}

TEST_F(BatchDriverTest, AnOutputThatCannotBeCreatedFailsTheRow) {
    List.AddRow(Source("clip.avi"));
    List.AddRow(Source("tone.mp3"));
    // The output name of the first row is a folder.
    QDir().mkpath(Output("clip.avi"));

    Driver.ButtonConvertClick();
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ(List.Cell(0, jcProgress), "Fail");
    EXPECT_EQ(List.Cell(1, jcProgress), "Done");
}

TEST_F(BatchDriverTest, AudioOnlyRowShowsABlankFrameCount) {
    List.AddRow(Source("tone.mp3"));

    Driver.ButtonConvertClick();
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ(List.Cell(0, jcProgress), "Done");
    EXPECT_EQ(List.Cell(0, jcFrames), " ");
}

TEST_F(BatchDriverTest, AnsweringNoResumesTheConversion) {
    List.AddRow(Source("clip.avi"));
    bool pausedDuringQuestion = false;
    UI.OnQuestion = [&] {
        pausedDuringQuestion = Encoder.Paused();
        return TBatchUI::TAnswer::No;
    };

    Driver.ButtonConvertClick();
    Driver.ButtonStopConvertClick();

    ASSERT_EQ(UI.Messages.size(), 1u);
    EXPECT_EQ(UI.Messages[0].Text, "Stop all conversions?");
    EXPECT_EQ(UI.Messages[0].Caption, "Confirmation");
    EXPECT_EQ(UI.Messages[0].Icon, TBatchUI::TIcon::Question);
    EXPECT_EQ(UI.Messages[0].Buttons, TBatchUI::TButtons::YesNo);
    EXPECT_TRUE(pausedDuringQuestion);
    EXPECT_FALSE(Encoder.Paused());
    EXPECT_FALSE(Driver.UserAborted());

    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(List.Cell(0, jcProgress), "Done");
    EXPECT_EQ(UI.MessageTexts().last(), TBatchDriver::CompletedText);
}

TEST_F(BatchDriverTest, AConfirmedStopAbortsTheRowAndEndsTheRun) {
    List.AddRow(Copy("clip.avi", "one.avi"));
    List.AddRow(Copy("clip.avi", "two.avi"));

    Driver.ButtonConvertClick();
    Driver.ButtonStopConvertClick(); // the fake user answers Yes

    // The stop waited for the task and let its events through.
    EXPECT_EQ(List.Cell(0, jcProgress), "Abort");
    EXPECT_FALSE(Driver.TaskActive());
    EXPECT_FALSE(Driver.Converting());
    EXPECT_TRUE(Driver.UserAborted());
    EXPECT_EQ(UI.ControlStates, (std::vector<bool>{false, true}));
    Idle(300);
    EXPECT_EQ(UI.MessageTexts(), QStringList{TBatchDriver::StopQuestionText}); // no completion message
    EXPECT_EQ(List.Cell(1, jcProgress), "");
    EXPECT_FALSE(QFileInfo::exists(Output("two.avi")));
}

TEST_F(BatchDriverTest, StoppingBetweenRowsAsksNothing) {
    List.AddRow(Copy("clip.avi", "one.avi"), false);
    List.AddRow(Copy("clip.avi", "two.avi"));

    Driver.ButtonConvertClick(); // the first row is skipped: idle until the queued step moves on
    ASSERT_FALSE(Driver.TaskActive());
    Driver.ButtonStopConvertClick();

    EXPECT_TRUE(UI.Messages.empty());
    EXPECT_EQ(UI.ControlStates, (std::vector<bool>{false, true}));
    EXPECT_FALSE(Driver.NextRowPending());
    Idle(300);
    EXPECT_TRUE(UI.Messages.empty());
    EXPECT_EQ(List.Cell(1, jcProgress), "");
    EXPECT_FALSE(QFileInfo::exists(Output("two.avi")));
}

TEST_F(BatchDriverTest, ARunDoesNotStartWithoutFilesOrAUsableFolder) {
    struct TCase {
        bool AddRow;
        QString Folder;
        QString Message; // empty: nothing shown
        int Browsed;
    };
    const QString missing = UI.Folder + "/gone ";
    const TCase cases[] = {
        {false, UI.Folder, TBatchDriver::NoFilesText, 0},
        {true, "", TBatchDriver::NoOutputFolderText, 1},
        {true, missing,
         "The output folder \"" + missing +
             "\"\n\rdoes not exist or has been deleted!\n\rPlease choose a new output folder.",
         1},
    };
    for (const TCase& c : cases) {
        TJobListModel list;
        TFFEncoder encoder;
        TFakeUI ui;
        ui.Folder = c.Folder;
        TRemuxBuilder builder(ui);
        TBatchDriver driver(list, encoder, ui, builder);
        if (c.AddRow) {
            list.AddRow(Source("clip.avi"));
            list.SetProgress(0, Finished(TJobResult::Failed));
        }
        driver.ButtonConvertClick();
        ASSERT_EQ(ui.Messages.size(), 1u) << c.Message.toStdString();
        EXPECT_EQ(ui.Messages[0].Text, c.Message);
        EXPECT_EQ(ui.Messages[0].Caption, "Information");
        EXPECT_EQ(ui.Messages[0].Icon, TBatchUI::TIcon::Information);
        EXPECT_EQ(ui.Browsed, c.Browsed);
        EXPECT_TRUE(ui.ControlStates.empty());
        EXPECT_FALSE(driver.Converting());
        if (c.AddRow) {
            EXPECT_EQ(list.Cell(0, jcProgress), ""); // cleared even though nothing starts
        }
    }

    // While files are being added the button does nothing at all.
    List.AddRow(Source("clip.avi"));
    Driver.SetAddFileInProgress(true);
    Driver.ButtonConvertClick();
    EXPECT_TRUE(UI.Messages.empty());
    EXPECT_FALSE(Driver.Converting());
}

TEST_F(BatchDriverTest, ProgressShowsPercentFramesAndFileSize) {
    struct TCase {
        int64_t Current, Total;
        int32_t Frames;
        int64_t Size;
        QString Progress, FramesCell, Status;
        int Bar;
    };
    const TCase cases[] = {
        {1000000, 2000000, 25, 2500000, "50%", "25", "File Size : 2 MBytes", 50},
        {2100000, 2000000, 51, 3500000, "100%", "51", "File Size : 4 MBytes", 100},
        {1999999, 2000000, 0, 499999, "99%", "0", "File Size : 0 MBytes", 99},
        // Without a known total the percentage is left out; the frames still show.
        {1000000, 0, 25, 1000000, "", "25", "File Size : 1 MBytes", -1},
        {1000000, -1, -1, 1000000, "", " ", "File Size : 1 MBytes", -1},
    };
    List.AddRow(Source("clip.avi"), false);
    Driver.StartNextRow(); // makes row 0 the current row
    for (const TCase& c : cases) {
        List.SetProgress(0, TJobProgress());
        UI.Position = -1;
        TProgressInfo info;
        info.TaskIndex = 0;
        info.CurrentDuration = c.Current;
        info.TotalDuration = c.Total;
        info.FrameNumber = c.Frames;
        info.CurrentSize = c.Size;
        Driver.EncoderProgress(&Encoder, info);
        EXPECT_EQ(List.Cell(0, jcProgress), c.Progress) << c.Current << "/" << c.Total;
        EXPECT_EQ(List.Cell(0, jcFrames), c.FramesCell);
        EXPECT_EQ(UI.Status, c.Status);
        EXPECT_EQ(UI.Position, c.Bar);
    }
}

// ---- Several rows at once ----

class BatchDriverJobsTest : public BatchDriverTest {
protected:
    void SetUp() override {
        BatchDriverTest::SetUp();
        Encoder.SetProgressInterval(100);
        Driver.SetJobs(2);
        QObject::connect(&Driver, &TBatchDriver::RowProgress, [this](int ARow, const TProgressInfo&) {
            ProgressRows.insert(ARow);
            MostConverting = std::max(MostConverting, Driver.ConvertingRows().size());
            BarSeen.push_back(UI.Position);
        });
    }

    std::set<int> ProgressRows; // rows that had a progress report
    size_t MostConverting = 0;  // the most rows converting at one progress report
    std::vector<int> BarSeen;   // the bar after each progress report
};

TEST_F(BatchDriverJobsTest, TwoRowsConvertAtOnceIntoOutputsOfTheirOwn) {
    // Two sources of one name: the batch gives them two outputs.
    List.AddRow(Copy("noise.avi", "a/clip.avi"));
    List.AddRow(Copy("noise.avi", "b/clip.avi"));
    List.AddRow(Copy("clip.avi", "three.avi"));
    std::vector<int> started;
    QObject::connect(&Driver, &TBatchDriver::RowStarting, [&](int ARow) { started.push_back(ARow); });

    Driver.ButtonConvertClick();
    // Both slots took a row at once.
    EXPECT_EQ(started, (std::vector<int>{0, 1}));
    EXPECT_EQ(Driver.ConvertingRows(), (std::vector<int>{0, 1}));
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ(started, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(MostConverting, 2u);
    EXPECT_TRUE(ProgressRows.contains(0) && ProgressRows.contains(1));
    const QString outputs[] = {Output("clip.avi"), Output("clip (1).avi"), Output("three.avi")};
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(List.Cell(row, jcProgress), "Done") << row;
        EXPECT_EQ(List.Progress(row).OutputFile, outputs[row]);
        EXPECT_GT(QFileInfo(outputs[row]).size(), 0) << outputs[row].toStdString();
    }
    // Each noise row's percentages are its own: they rise to the end.
    for (int row = 0; row < 2; ++row) {
        const QStringList& seen = ProgressSeen[row];
        ASSERT_GE(seen.size(), 3) << row;
        EXPECT_GE(seen.at(seen.size() - 2).chopped(1).toInt(), 95) << row;
    }
    // The bar follows the whole batch: it never goes back while the rows take turns.
    ASSERT_FALSE(BarSeen.empty());
    EXPECT_TRUE(std::is_sorted(BarSeen.begin(), BarSeen.end()));
    EXPECT_GE(BarSeen.back(), 60);
    // The noise rows ran 150 frames each.
    EXPECT_GE(List.Cell(0, jcFrames).toInt(), 145);
    EXPECT_GE(List.Cell(1, jcFrames).toInt(), 145);
    EXPECT_EQ(UI.MessageTexts(), QStringList{TBatchDriver::CompletedText});
    EXPECT_EQ(Driver.Summary().Handled(), 3);
    EXPECT_EQ(UI.ControlStates, (std::vector<bool>{false, true}));
    EXPECT_EQ(UI.Position, 0);
}

TEST_F(BatchDriverJobsTest, AFailingRowFailsAloneWithItsReason) {
    List.AddRow(Copy("clip.avi", "one.avi"));
    List.AddRow(Source("notmedia.avi")); // the encoder refuses it
    List.AddRow(Copy("clip.avi", "two.avi"));
    List.AddRow(Copy("clip.avi", "noname.avi")); // no output name
    List.AddRow(Copy("clip.avi", "three.avi"));
    std::map<int, QString> reasons;
    QObject::connect(&Driver, &TBatchDriver::RowFinished,
                     [&](int ARow, TJobResult, const QString& AReason) { reasons[ARow] = AReason; });

    Driver.ButtonConvertClick();
    ASSERT_TRUE(RunToEnd());

    const QStringList results = {"Done", "Fail", "Done", "Fail", "Done"};
    for (int row = 0; row < List.Count(); ++row)
        EXPECT_EQ(List.Cell(row, jcProgress), results[row]) << row;
    EXPECT_EQ(reasons.size(), 5u) << "every row ends once";
    EXPECT_TRUE(reasons[1].endsWith("Invalid data found when processing input")) << reasons[1].toStdString();
    EXPECT_EQ(reasons[3], "no name to give");
    for (const char* name : {"one.avi", "two.avi", "three.avi"})
        EXPECT_GT(QFileInfo(Output(name)).size(), 0) << name;
    ASSERT_EQ(UI.MessageTexts().size(), 1);
    EXPECT_TRUE(UI.MessageTexts()[0].startsWith("3 of 5 files converted, 2 failed\n"))
        << UI.MessageTexts()[0].toStdString();
}

TEST_F(BatchDriverJobsTest, OneStopAsksOnceAndStopsBothRows) {
    List.AddRow(Copy("noise.avi", "one.avi"));
    List.AddRow(Copy("noise.avi", "two.avi"));
    List.AddRow(Copy("noise.avi", "three.avi"));
    int runEnds = 0;
    QObject::connect(&Driver, &TBatchDriver::RunEnded, [&](bool AStopped) {
        EXPECT_TRUE(AStopped);
        ++runEnds;
    });
    std::vector<bool> pausedDuringQuestion;
    UI.OnQuestion = [&] {
        pausedDuringQuestion = {Encoder.Paused(), Driver.ConvertingRows().size() == 2};
        return TBatchUI::TAnswer::Yes;
    };

    Driver.ButtonConvertClick();
    // Both rows have written something.
    ASSERT_TRUE(ProcessUntil([this] { return ProgressRows.size() == 2; }, 30000));
    Driver.ButtonStopConvertClick();

    EXPECT_EQ(UI.MessageTexts(), QStringList{TBatchDriver::StopQuestionText});
    EXPECT_EQ(pausedDuringQuestion, (std::vector<bool>{true, true}));
    // The stop waited for both tasks: both rows are aborted, their files finished under their names.
    EXPECT_EQ(List.Cell(0, jcProgress), "Abort");
    EXPECT_EQ(List.Cell(1, jcProgress), "Abort");
    EXPECT_TRUE(Driver.ConvertingRows().empty());
    EXPECT_FALSE(Driver.TaskActive());
    EXPECT_FALSE(Driver.Converting());
    for (const char* name : {"one.avi", "two.avi"})
        EXPECT_GT(QFileInfo(Output(name)).size(), 0) << name;
    Idle(300);
    EXPECT_EQ(runEnds, 1);
    EXPECT_EQ(UI.MessageTexts(), QStringList{TBatchDriver::StopQuestionText}); // no completion message
    EXPECT_EQ(List.Cell(2, jcProgress), "");
    EXPECT_FALSE(QFileInfo::exists(Output("three.avi")));
    EXPECT_EQ(QDir(UI.Folder).entryList(QDir::Files | QDir::Hidden).size(), 2) << "no part file is left";
}

} // namespace
