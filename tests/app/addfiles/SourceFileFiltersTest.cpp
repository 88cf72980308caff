// The filters the window's "Add File" dialog offers: the classic ones unchanged, the formats
// they miss, which the decoder really opens, and every file.
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>

#include <gtest/gtest.h>

#include "MediaFixtures.h"
#include "SourceFileFilters.h"
#include "SourceFiles.h"
#include "base/FFLoad.h"
#include "decode/FFDecode.h"

using namespace vx;
using namespace vx::fixtures;

namespace {

class SourceFileFiltersTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
        Dialog.setNameFilters(OpenDialogNameFilters());
    }
    QStringList ShownFilters() const {
        QStringList shown;
        if (const auto* combo = Dialog.findChild<QComboBox*>("fileTypeCombo"))
            for (int i = 0; i < combo->count(); ++i)
                shown << combo->itemText(i);
        return shown;
    }
    // Whether the dialog lists AFile while the filter at APosition is selected.
    bool Lists(int APosition, const QString& AFile) {
        Dialog.selectNameFilter(OpenDialogNameFilters().at(APosition));
        const auto* model = Dialog.findChild<QFileSystemModel*>();
        return model && QDir::match(model->nameFilters(), AFile);
    }

    QFileDialog Dialog;
};

TEST_F(SourceFileFiltersTest, TheClassicFiltersComeFirstThenTheOtherFormatsAndEveryFile) {
    const QStringList classic = NameFiltersOf(OpenDialogFilter);
    const QStringList filters = OpenDialogNameFilters();
    ASSERT_EQ(filters.size(), classic.size() + 2);
    // Every classic filter but the first is taken as it is.
    for (qsizetype i = 1; i < classic.size(); ++i)
        EXPECT_EQ(filters[i], classic[i]);
    const QStringList shown = ShownFilters();
    ASSERT_EQ(shown.size(), filters.size());
    EXPECT_EQ(shown.first(), "All Supported Files");
    EXPECT_EQ(shown[1], "3GPP Files (*.3gp)");
    EXPECT_TRUE(shown[shown.size() - 2].startsWith("Other Media Files (*.mkv, *.mka, *.webm,"))
        << shown[shown.size() - 2].toStdString();
    EXPECT_EQ(shown.last(), "All Files (*)");

    const int all = int(filters.size()) - 1;
    const int other = all - 1;
    struct TCase {
        const char* File;
        int Filter;
        bool Listed;
    };
    const TCase cases[] = {
        {"clip.avi", 0, true},   {"clip.mkv", 0, true},     {"CLIP.MKV", 0, true},
        {"song.flac", 0, true},  {"clip.mkv", other, true}, {"clip.avi", other, false},
        {"notes.txt", 0, false}, {"notes.txt", all, true},  {"README", all, true},
        {"clip.mkv", 6, false}, // "AVI Files" stays AVI only
    };
    for (const TCase& c : cases)
        EXPECT_EQ(Lists(c.Filter, c.File), c.Listed) << c.File << " with " << shown[c.Filter].toStdString();
}

// Each format the dialog adds is one the decoder opens: a small file of it is written with the
// libraries and read back.
TEST_F(SourceFileFiltersTest, TheDecoderOpensEveryAddedFormat) {
    auto video = [](const char* AFormat, const char* AVideo, const char* AAudio) {
        TMediaSpec spec;
        spec.Format = AFormat;
        spec.Videos = {TVideoSpec{AVideo}};
        spec.Audios = {TAudioSpec{AAudio}};
        spec.Seconds = 0.5;
        return spec;
    };
    auto audio = [](const char* AFormat, const char* AAudio, int ARate = 44100) {
        TMediaSpec spec;
        spec.Format = AFormat;
        spec.Audios = {TAudioSpec{AAudio, ARate}};
        spec.Seconds = 0.5;
        return spec;
    };
    const std::pair<const char*, TMediaSpec> files[] = {
        {"clip.mkv", video("matroska", "mpeg4", "libmp3lame")},
        {"song.mka", audio("matroska", "flac")},
        {"clip.webm", video("webm", "libvpx", "libvorbis")},
        {"clip.m4v", video("mp4", "mpeg4", "aac")},
        {"clip.ts", video("mpegts", "mpeg2video", "mp2")},
        {"clip.mts", video("mpegts", "libx264", "aac")},
        {"clip.m2ts", video("mpegts", "mpeg2video", "ac3")},
        {"song.flac", audio("flac", "flac")},
        {"song.opus", audio("opus", "libopus", 48000)},
        {"song.oga", audio("ogg", "libvorbis")},
        {"clip.ogv", video("ogg", "libtheora", "libvorbis")},
        {"song.caf", audio("caf", "pcm_s16le")},
        {"song.aif", audio("aiff", "pcm_s16be")},
        {"clip.nut", video("nut", "mpeg4", "libmp3lame")},
        {"clip.f4v", video("f4v", "libx264", "aac")},
    };
    ASSERT_EQ(std::size(files), size_t(OtherMediaPatterns.size()));
    ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
    TTempDir dir;
    const int other = int(OpenDialogNameFilters().size()) - 2;
    for (const auto& [name, spec] : files) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(OtherMediaPatterns.contains(QStringLiteral("*.") + QString(name).section('.', -1)));
        ASSERT_NO_THROW(WriteMedia(dir.File(name), spec));
        TFFDecoder decoder;
        EXPECT_TRUE(decoder.LoadFile(QString::fromStdString(dir.File(name)).toStdU16String()))
            << decoder.LastErrMsg();
        EXPECT_EQ(decoder.FirstVideoStreamIndex() >= 0, !spec.Videos.empty());
        EXPECT_TRUE(Lists(0, name));
        EXPECT_TRUE(Lists(other, name));
    }
}

} // namespace
