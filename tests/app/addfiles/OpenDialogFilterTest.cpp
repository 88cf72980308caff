// The open dialog's filters as Qt's own file dialog takes them: the user must see the same
// descriptions as in the filter text, and each filter must match the files its patterns name.
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>

#include <gtest/gtest.h>

#include "SourceFiles.h"

using namespace vx;

namespace {

// The pairs of the filter text as written: (description, patterns without blanks).
struct TPair {
    QString Description;
    QStringList Patterns;
};

std::vector<TPair> PairsOf(const QString& AFilter) {
    QStringList fields = AFilter.split('|');
    std::vector<TPair> pairs;
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : fields[i + 1].split(';'))
            patterns << p.trimmed();
        pairs.push_back({fields[i], patterns});
    }
    return pairs;
}

// The dialog as the window shows it.
class OpenDialogFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
        Dialog.setFileMode(QFileDialog::ExistingFiles);
        Dialog.setNameFilters(NameFiltersOf(OpenDialogFilter));
    }
    QStringList ShownFilters() {
        QStringList shown;
        const auto* combo = Dialog.findChild<QComboBox*>("fileTypeCombo");
        if (combo)
            for (int i = 0; i < combo->count(); ++i)
                shown << combo->itemText(i);
        return shown;
    }
    // The patterns the dialog lists files by while the filter is selected.
    QStringList PatternsInUse(const QString& AFilter) {
        Dialog.selectNameFilter(AFilter);
        const auto* model = Dialog.findChild<QFileSystemModel*>();
        return model ? model->nameFilters() : QStringList{"no model"};
    }

    QFileDialog Dialog;
};

TEST(OpenDialogFilterText, KeepsItsIrregularities) {
    // The quirks that a tidied copy of the text would lose.
    EXPECT_TRUE(OpenDialogFilter.startsWith("All Supported Files|*.avi;*.mpeg;*.mpg;"));
    EXPECT_TRUE(OpenDialogFilter.contains("*.asx;*.mov; *.qt;*.3gp;"));
    EXPECT_TRUE(
        OpenDialogFilter.contains(";*.wav; *.au; *.aiff;*.mjpg; *.mjpeg;*.ac3; *.gif; *.swf; *.flv|3GPP"));
    EXPECT_TRUE(OpenDialogFilter.contains("|Windows Media Files(*.wma, *.wmv, *.asf, *.asx)|"));
    EXPECT_TRUE(OpenDialogFilter.endsWith("|*.wma;*.wmv;*.asf;*.asx|"));
    const std::vector<TPair> pairs = PairsOf(OpenDialogFilter);
    ASSERT_EQ(pairs.size(), 24u);
    EXPECT_EQ(pairs[0].Patterns.size(), 38);
    EXPECT_EQ(pairs[1].Description, "3GPP Files (*.3gp)");
    EXPECT_EQ(pairs[23].Description, "Windows Media Files(*.wma, *.wmv, *.asf, *.asx)");
}

TEST(NameFiltersOfTest, OneFilterPerPairWithBlankSeparatedPatterns) {
    EXPECT_EQ(NameFiltersOf("Movies|*.mov; *.qt;;*.mp4 |Audio (*.wav)|*.wav|"),
              (QStringList{"Movies (*.mov *.qt *.mp4)", "Audio (*.wav) (*.wav)"}));
    EXPECT_EQ(NameFiltersOf(""), QStringList{});
    EXPECT_EQ(NameFiltersOf("|"), QStringList{});
}

TEST_F(OpenDialogFilterTest, ShowsTheDescriptionsUnchanged) {
    QStringList descriptions;
    for (const TPair& pair : PairsOf(OpenDialogFilter))
        descriptions << pair.Description;
    EXPECT_EQ(ShownFilters(), descriptions);
    // The first pair is selected at the start.
    const auto* combo = Dialog.findChild<QComboBox*>("fileTypeCombo");
    const auto* model = Dialog.findChild<QFileSystemModel*>();
    ASSERT_TRUE(combo && model);
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(model->nameFilters(), PairsOf(OpenDialogFilter)[0].Patterns);
}

TEST_F(OpenDialogFilterTest, EachFilterUsesThePatternsOfItsPair) {
    const QStringList filters = NameFiltersOf(OpenDialogFilter);
    const std::vector<TPair> pairs = PairsOf(OpenDialogFilter);
    ASSERT_EQ(size_t(filters.size()), pairs.size());
    for (size_t i = 0; i < pairs.size(); ++i)
        EXPECT_EQ(PatternsInUse(filters[qsizetype(i)]), pairs[i].Patterns)
            << pairs[i].Description.toStdString();
}

TEST_F(OpenDialogFilterTest, FileNamesMatchTheirFilters) {
    struct TCase {
        const char* File;
        int Filter; // position in the list
        bool Matches;
    };
    // The patterns after a blank in the text, a pattern in two filters, and files the
    // "All Supported Files" pair does not list although a filter of their own does.
    const TCase cases[] = {
        {"movie.qt", 0, true},   {"movie.qt", 20, true}, {"song.aiff", 0, true}, {"song.aiff", 22, true},
        {"clip.flv", 0, true},   {"clip.swf", 10, true}, {"clip.mp4", 16, true}, {"clip.mp4", 17, true},
        {"clip.wmv", 22, false}, {"clip.wmv", 23, true}, {"disc.ape", 0, false}, {"disc.ape", 11, true},
        {"notes.txt", 0, false},
    };
    const QStringList filters = NameFiltersOf(OpenDialogFilter);
    for (const TCase& c : cases) {
        const bool matches = QDir::match(PatternsInUse(filters[c.Filter]), c.File);
        EXPECT_EQ(matches, c.Matches) << c.File << " with " << filters[c.Filter].toStdString();
    }
}

} // namespace
