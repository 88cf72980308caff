#include <QModelIndex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "JobListModel.h"

using namespace vx;

TEST(JobListModelTest, RowsCarryACheckBoxACaptionAndSixCells) {
    TJobListModel list;
    ASSERT_EQ(list.AddRow("/media/a.avi"), 0);
    ASSERT_EQ(list.AddRow("/media/b.avi", false), 1);
    list.SetCell(1, jcVideoSize, "640x480");
    TJobProgress noVideo;
    noVideo.Frames = -1;
    list.SetProgress(1, noVideo);

    EXPECT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.columnCount(), 7);
    EXPECT_TRUE(list.Checked(0));
    EXPECT_FALSE(list.Checked(1));
    EXPECT_EQ(list.data(list.index(1, 0)).toString(), "/media/b.avi");
    EXPECT_EQ(list.data(list.index(1, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(list.data(list.index(1, TJobListModel::ColumnOfCell(jcVideoSize))).toString(), "640x480");
    EXPECT_EQ(list.Cell(1, jcFrames), " ");
    EXPECT_EQ(list.Cell(0, jcProgress), "");

    // The view may change the check box, nothing else.
    EXPECT_TRUE(list.setData(list.index(1, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(list.Checked(1));
    EXPECT_FALSE(list.setData(list.index(1, 2), "x", Qt::EditRole));
    EXPECT_TRUE(list.flags(list.index(0, 0)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(list.flags(list.index(0, 1)) & Qt::ItemIsEditable);
}

TEST(JobListModelTest, HeaderNamesTheColumns) {
    TJobListModel list;
    const char* captions[] = {"Video File Name", "Video Size", "FrameRate", "Duration",
                              "Output",          "Progress",   "Frames"};
    const int widths[] = {310, 90, 80, 60, 65, 57, 60};
    for (int c = 0; c < TJobListModel::ColumnCount; ++c) {
        EXPECT_EQ(list.headerData(c, Qt::Horizontal).toString(), captions[c]);
        EXPECT_EQ(TJobListModel::ColumnWidth(c), widths[c]);
    }
    EXPECT_FALSE(list.headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).isValid());
    EXPECT_EQ(list.headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
}

TEST(JobListModelTest, ChangesAreSignalledAndBadIndicesThrow) {
    TJobListModel list;
    list.AddRow("a");
    std::vector<QModelIndex> changed;
    QObject::connect(&list, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& ATopLeft, const QModelIndex&) { changed.push_back(ATopLeft); });
    TJobProgress half;
    half.Percent = 50;
    list.SetProgress(0, half);
    list.SetProgress(0, half); // unchanged: no signal
    list.SetChecked(0, false);
    ASSERT_EQ(changed.size(), 2u);
    EXPECT_EQ(changed[0], list.index(0, TJobListModel::ColumnOfCell(jcProgress)));
    EXPECT_EQ(changed[1], list.index(0, 0));

    EXPECT_THROW(list.SetCell(1, jcProgress, "x"), std::out_of_range);
    EXPECT_THROW(list.Cell(0, 6), std::out_of_range);
    EXPECT_THROW(list.Caption(-1), std::out_of_range);
    EXPECT_THROW(list.RemoveRow(1), std::out_of_range);
    EXPECT_FALSE(list.data(list.index(5, 0)).isValid());

    list.RemoveRow(0);
    EXPECT_EQ(list.Count(), 0);
}

TEST(JobListModelTest, ProgressAndFramesCellsAreDrawnFromTheRowsRecord) {
    struct TCase {
        TJobState State;
        TJobResult Result;
        std::optional<int> Percent, Frames;
        const char* Progress;
        const char* FramesCell;
    };
    using S = TJobState;
    using R = TJobResult;
    const TCase cases[] = {
        {S::Waiting, R::Done, {}, {}, "", ""},
        {S::Unreadable, R::Done, {}, {}, "Error", ""},
        {S::Converting, R::Done, {}, {}, "", ""},
        {S::Converting, R::Done, 0, 0, "0%", "0"},
        {S::Converting, R::Done, 45, 1234, "45%", "1234"},
        {S::Converting, R::Done, 100, -1, "100%", " "}, // an output without video
        {S::Converting, R::Done, {}, 25, "", "25"},     // the total is not known
        {S::Finished, R::Done, 100, 51, "Done", "51"},
        {S::Finished, R::Failed, 30, 12, "Fail", "12"},
        {S::Finished, R::Failed, {}, {}, "Fail", ""},
        {S::Finished, R::Aborted, 99, -1, "Abort", " "},
    };
    TJobListModel list;
    list.AddRow("/media/a.avi");
    for (const TCase& c : cases) {
        TJobProgress progress;
        progress.State = c.State;
        progress.Result = c.Result;
        progress.Percent = c.Percent;
        progress.Frames = c.Frames;
        progress.Reason = "whatever the reason";
        list.SetProgress(0, progress);
        const std::string what = std::string(c.Progress) + "/" + c.FramesCell;
        EXPECT_EQ(list.Cell(0, jcProgress), c.Progress) << what;
        EXPECT_EQ(list.Cell(0, jcFrames), c.FramesCell) << what;
        EXPECT_EQ(list.data(list.index(0, TJobListModel::ColumnOfCell(jcProgress))).toString(), c.Progress);
        EXPECT_EQ(list.data(list.index(0, TJobListModel::ColumnOfCell(jcFrames))).toString(), c.FramesCell);
    }
    // Those two cells have no text of their own to write.
    EXPECT_THROW(list.SetCell(0, jcProgress, "Done"), std::invalid_argument);
    EXPECT_THROW(list.SetCell(0, jcFrames, "12"), std::invalid_argument);
}
