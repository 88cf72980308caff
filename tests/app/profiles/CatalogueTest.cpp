// The format list, every entry's profile and the rules of a format change.
#include <QStringList>
#include <map>
#include <set>
#include <stdexcept>

#include <gtest/gtest.h>

#include "AdditionalOptions.h"
#include "ConversionSettings.h"
#include "OutputCatalogue.h"

using namespace vx;

namespace {

// The profile tables, written out again independently of the program's own tables. A cell reads
// "items;default" with items split by "|" (or the name of a shared list), a single item is both
// the item and the default, and an empty cell means an empty list.
const std::map<QString, QStringList> SharedLists = {
    {"S1", {"Original Video Size", "128 x 96 (SQCIF)", "160 x 120 (QVGA)", "176 x 120", "176 x 144 (QCIF)",
            "192 x 144",           "208 x 176",        "220 x 176",        "240 x 180", "320 x 200",
            "320 x 240 (VGA)",     "352 x 240",        "352 x 288 (CIF)",  "480 x 272", "480 x 360",
            "480 x 480",           "480 x 576",        "624 x 352",        "640 x 352", "640 x 480",
            "704 x 576 (4CIF)",    "720 x 480",        "720 x 576"}},
    {"S2",
     {"128 x 96 (SQCIF)", "160 x 120 (QVGA)", "176 x 144 (QCIF)", "208 x 176", "220 x 176", "320 x 240 (VGA)",
      "352 x 288 (CIF)"}},
    {"S3", {"Auto", "160 x 120", "320 x 240", "480 x 272", "720 x 480", "640 x 480"}},
    {"B1",
     {"192 Kbps", "200 Kbps", "216 Kbps", "384 Kbps", "512 Kbps", "640 Kbps", "768 Kbps", "1000 Kbps",
      "1200 Kbps", "1500 Kbps", "1600 Kbps", "2000 Kbps", "2500 Kbps", "3000 Kbps", "4000 Kbps", "5000 Kbps",
      "6000 Kbps"}},
    {"B2",
     {"192 Kbps", "200 Kbps", "216 Kbps", "384 Kbps", "512 Kbps", "640 Kbps", "768 Kbps", "1000 Kbps",
      "1200 Kbps", "1500 Kbps", "2500 Kbps", "3000 Kbps", "4000 Kbps", "5000 Kbps", "6000 Kbps"}},
    {"B3",
     {"192 Kbps", "200 Kbps", "216 Kbps", "384 Kbps", "512 Kbps", "640 Kbps", "768 Kbps", "1000 Kbps",
      "1200 Kbps", "1500 Kbps", "1600 Kbps", "2000 Kbps", "2500 Kbps"}},
    {"B4", {"512 Kbps", "800 Kbps", "1200 Kbps", "1500 Kbps", "2500 Kbps"}},
    {"F1", {"Auto", "14.985 fps", "15.0 fps", "23.975 fps", "25.0 fps", "29.97 fps", "30.0 fps"}},
    {"F2", {"29.97 fps [NTSC]", "25 fps [PAL]"}},
    {"A1",
     {"32 Kbps", "40 Kbps", "48 Kbps", "64 Kbps", "80 Kbps", "96 Kbps", "112 Kbps", "128 Kbps", "160 Kbps",
      "192 Kbps", "224 Kbps", "256 Kbps", "320 Kbps"}},
    {"A2",
     {"Original", "32 Kbps", "40 Kbps", "48 Kbps", "64 Kbps", "80 Kbps", "96 Kbps", "112 Kbps", "128 Kbps",
      "160 Kbps", "192 Kbps", "224 Kbps", "256 Kbps", "320 Kbps"}},
    {"A3",
     {"4750 bps", "5150 bps", "5900 bps", "6700 bps", "7400 bps", "7950 bps", "10200 bps", "12200 bps"}},
    {"R1", {"8000 Hz", "16000 Hz", "22050 Hz", "32000 Hz", "44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"}},
    {"R1*", {"8000  Hz", "16000 Hz", "22050 Hz", "32000 Hz", "44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"}},
};

struct TExpectedList {
    QStringList Items;
    int Index = -1;
};

TExpectedList Expand(const QString& ACell) {
    if (ACell.isEmpty())
        return {};
    const qsizetype semicolon = ACell.indexOf(';');
    const QString items = semicolon < 0 ? ACell : ACell.left(semicolon);
    const QString defaultText = semicolon < 0 ? ACell : ACell.mid(semicolon + 1);
    const auto shared = SharedLists.find(items);
    const QStringList list = shared != SharedLists.end() ? shared->second : items.split('|');
    const int index = static_cast<int>(list.indexOf(defaultText));
    EXPECT_GE(index, 0) << "default not among the items of " << ACell.toStdString();
    return {list, index};
}

struct TEntry {
    int Position;
    const char* ComboText;
    const char* OutFormat;
    int Number;
    const char* VideoCodec;
    const char* VideoSize;
    const char* VideoBitrate;
    const char* FrameRate;
    const char* AudioCodec;
    const char* AudioBitrate;
    const char* Channels;
    const char* SamplingRate;
};

const char* const ZuneBitrates = "256 Kbps|512 Kbps|768 Kbps|1200 Kbps|1500 Kbps|2000 Kbps";

const TEntry Entries[] = {
    {0, "3GP - Mobile Video Format (*.3gp)", "3GP", 0, "MPEG4|H263|H264;MPEG4", "S2;176 x 144 (QCIF)",
     "48 Kbps|64 Kbps|96 Kbps|128 Kbps|256 Kbps|512 Kbps;128 Kbps", "Auto|11 fps|14.985 fps|15 fps;Auto",
     "amr_nb|mpeg4aac;amr_nb", "A3;7400 bps", "Mono", "8000  bps|16000 bps;8000  bps"},
    {1, "3G2 - Mobile Video Format (*.3g2)", "3G2", 1, "MPEG4|H263|H264;MPEG4", "S2;176 x 144 (QCIF)",
     "48 Kbps|64 Kbps|96 Kbps|128 Kbps|256 Kbps|512 Kbps;128 Kbps", "Auto|11 fps|14.985 fps|15 fps;Auto",
     "amr_nb|mpeg4aac;amr_nb", "A3;7400 bps", "Mono", "8000  bps|16000 bps;8000  bps"},
    {2, "ASF - Advance Streaming Format (*.asf)", "ASF", 38, "MSMPEG4", "S1;Original Video Size",
     "1200 Kbps|1500 Kbps|2000 Kbps|2500 Kbps|3000 Kbps;1200 Kbps", "F1;Auto", "mp3", "A1;128 Kbps", "Stereo",
     "R1;48000 Hz"},
    {3, "AVI - Audio Video Interleave (*.avi)", "AVI", 22, "MPEG4|H264;MPEG4", "S1;Original Video Size",
     "B2;6000 Kbps", "F1;Auto", "pcm_s16le|mp3|mp2|ac3;pcm_s16le", "A2;128 Kbps", "Stereo", "R1;48000 Hz"},
    {4, "AVI - DivX Video (*.avi)", "AVI", 23, "MPEG4", "S1;Original Video Size", "B2;6000 Kbps", "F1;Auto",
     "mp3", "A2;128 Kbps", "Stereo", "R1;48000 Hz"},
    {5, "AVI - Uncompress (*.avi)", "AVI", 25, "RAWVIDEO", "S1;Original Video Size", "B2;6000 Kbps",
     "F1;Auto", "pcm_s16le|mp3|mp2|ac3;pcm_s16le", "A2;128 Kbps", "Stereo", "R1;48000 Hz"},
    {6, "AVI - XviD Video (*.avi)", "AVI", 24, "XVID", "S1;Original Video Size", "B2;6000 Kbps", "F1;Auto",
     "mp3", "A2;128 Kbps", "Stereo", "R1;48000 Hz"},
    {7, "DVD - DVD Mpeg2 Format (*.mpg)", "MPG", 47, "MPEG2VIDEO", "Auto", "Auto", "F2;29.97 fps [NTSC]",
     "ac3", "Auto", "Stereo", "Auto"},
    {8, "FLV - Flash Video (*.flv)", "FLV", 33, "FLV", "S1;Original Video Size", "B1;200 Kbps", "F1;15.0 fps",
     "mp3", "A1;64 Kbps", "Stereo", "11025 Hz|22050 Hz|44100 Hz;44100 Hz"},
    {9, "MOV - QuickTime Video (*.mov)", "MOV", 26, "MPEG4", "S1;Original Video Size", "B1;6000 Kbps",
     "F1;Auto", "mpeg4aac", "A1;128 Kbps", "Stereo", "R1;44100 Hz"},
    {10, "MP4 - MPEG4 Video (*.mp4)", "MP4", 27, "MPEG4|H264|XVid;MPEG4", "S1;Original Video Size",
     "B1;6000 Kbps", "F1;Auto", "mpeg4aac", "A1;128 Kbps", "Stereo", "R1;44100 Hz"},
    {11, "MPEG-1 Movie (*.mpg)", "MPG", 28, "MPEG1VIDEO", "S1;Original Video Size", "B1;1600 Kbps",
     "F1;25.0 fps", "mp2", "A1;192 Kbps", "Stereo", "R1;44100 Hz"},
    {12, "MPEG-2 Movie (*.mpg)", "MPG", 29, "MPEG2VIDEO", "S1;Original Video Size", "B1;2000 Kbps",
     "F1;25.0 fps", "mp2|ac3;mp2", "A1;192 Kbps", "Stereo", "R1;44100 Hz"},
    {13, "RM - Real Video (*.rm)", "RM", 30, "RV10|RV20;RV10", "S1;Original Video Size",
     "384  Kbps|400  Kbps|600  Kbps|1200 Kbps|1800 Kbps|2200 Kbps|2600 Kbps|3000 Kbps;1800 Kbps", "F1;Auto",
     "ac3", "A1;128 Kbps", "Stereo", "R1*;48000 Hz"},
    {14, "SWF - Flash Swf (*.swf)", "SWF", 32, "FLV", "S1;Original Video Size", "B1;200 Kbps", "F1;15.0 fps",
     "mp3", "A1;64 Kbps", "Stereo", "11025 Hz|22050 Hz|44100 Hz;44100 Hz"},
    {15, "Super Video CD (*.mpg)", "MPG", 35, "MPEG2VIDEO", "Auto", "Auto", "F2;29.97 fps [NTSC]", "mp2",
     "Auto", "Stereo", "Auto"},
    {16, "Video CD (*.mpg)", "MPG", 34, "MPEG1VIDEO", "Auto", "Auto", "F2;29.97 fps [NTSC]", "mp2", "Auto",
     "Stereo", "Auto"},
    {17, "WMV - Windows Media Video (*.wmv)", "WMV", 31, "WMV2", "S1;Original Video Size", "B1;6000 Kbps",
     "F1;Auto", "wmav2", "A1;128 Kbps", "Stereo", "R1;48000 Hz"},
    {19, "AAC - Advance Audio Coding (*.aac)", "AAC", 37, "", "", "", "", "aac", "A1;128 Kbps", "Stereo",
     "R1;48000 Hz"},
    {20, "AU - SUN Audio (*.au)", "AU", 39, "", "", "", "", "pcm_s16be", "A1;128 Kbps", "Stereo",
     "R1;48000 Hz"},
    {21, "M4A - Mpeg4 Audio File (*.m4a)", "M4A", 40, "", "", "", "", "mpeg4aac", "A1;128 Kbps", "Stereo",
     "R1;48000 Hz"},
    {22, "MP2 - Mpeg Layer2 Audio (*.mp2)", "MP2", 46, "", "", "", "", "mp2", "A1;224 Kbps", "Stereo",
     "R1;48000 Hz"},
    {23, "MP3 - Mpeg Layer3 Audio (*.mp3)", "MP3", 41, "", "", "", "", "mp3", "A1;192 Kbps", "Stereo",
     "R1;48000 Hz"},
    {24, "OGG - Ogg Vorbis Audio (*.ogg)", "OGG", 42, "", "", "", "", "vorbis", "A1;160 Kbps", "Stereo",
     "R1;48000 Hz"},
    {25, "RA - Real Audio (*.ra)", "RA", 43, "", "", "", "", "ac3", "A1;128 Kbps", "Stereo", "R1*;48000 Hz"},
    {26, "WAV - Waveform Audio (*.wav)", "WAV", 44, "", "", "", "", "pcm_s16le", "A1;128 Kbps", "Stereo",
     "R1*;44100 Hz"},
    {27, "WMA - Windows Media Audio (*.wma)", "WMA", 45, "", "", "", "", "wmav2", "A1;128 Kbps", "Stereo",
     "R1*;48000 Hz"},
    {29, "iPad (*.mp4)", "MP4", 2, "mpeg4|h264;mpeg4", "480 x 320|640 x 480|640 x 360|720 x 404;640 x 480",
     "B4;2500 Kbps", "F1;29.97 fps", "mpeg4aac", "A1;128 Kbps", "Stereo", "R1;44100 Hz"},
    {30, "iPod (*.mp4)", "MP4", 3, "MPEG4|H264;MPEG4", "320 x 240|640 x 480|720 x 406;320 x 240",
     "B4;2500 Kbps", "F1;29.97 fps", "mpeg4aac|ac3;mpeg4aac", "A1;128 Kbps", "Stereo", "R1;44100 Hz"},
    {31, "iPod Touch (*.mp4)", "MP4", 13, "MPEG4|H264;MPEG4", "320 x 240|640 x 480|720 x 406;640 x 480",
     "B4;2500 Kbps", "F1;29.97 fps", "mpeg4aac|ac3;mpeg4aac", "A1;128 Kbps", "Stereo", "R1;44100 Hz"},
    {32, "iPhone (*.mp4)", "MP4", 18, "MPEG4|H264;MPEG4", "320 x 240|480 x 320|640 x 480|720 x 480;640 x 480",
     "B4;2500 Kbps", "F1;29.97 fps", "mpeg4aac|ac3;mpeg4aac", "A1;128 Kbps", "Stereo", "R1;44100 Hz"},
    {34, "Archos AV500/GMini402 (*.avi)", "AVI", 63, "MPEG4", "S3;480 x 272", "B3;1200 Kbps", "F1;Auto",
     "mp3|mp2;mp3", "A1;128 Kbps", "Stereo", "R1;48000 Hz"},
    {35, "Archos AV700 (*.avi)", "AVI", 64, "MPEG4", "S3;720 x 480",
     "1000 Kbps|1200 Kbps|1500 Kbps|2000 Kbps|2500 Kbps;2000 Kbps", "F1;Auto", "mp3|mp2;mp3", "A1;128 Kbps",
     "Stereo", "R1;48000 Hz"},
    {36, "BlackBerry MPEG-4 Video (*.mp4)", "MP4", 67, "MPEG4", "176 x 144|240 x 180|320 x 240;320 x 240",
     "80 Kbps|120 Kbps|200 Kbps|256 Kbps|300 Kbps|512 Kbps;300 Kbps",
     "11 fps|15 fps|20 fps|24 fps|25 fps;24 fps", "mpeg4aac",
     "40 Kbps|48 Kbps|64 Kbps|80 Kbps|96 Kbps|112 Kbps;80 Kbps", "Stereo", "R1;44100 Hz"},
    {37, "BlackBerry AVI Video (*.avi)", "AVI", 68, "H263", "176 x 144",
     "80 Kbps|120 Kbps|200 Kbps|256 Kbps|300 Kbps|512 Kbps;300 Kbps",
     "11 fps|15 fps|20 fps|24 fps|25 fps;24 fps", "mp3|pcm_s16le;mp3",
     "40 Kbps|48 Kbps|64 Kbps|80 Kbps|96 Kbps|112 Kbps;80 Kbps", "Stereo", "R1;44100 Hz"},
    {38, "BlackBerry 3GP Video (*.3gp)", "3GP", 69, "MPEG4|H263;MPEG4",
     "176 x 144|240 x 180|320 x 240;176 x 144",
     "48 Kbps|64 Kbps|96 Kbps|120 Kbps|128 Kbps|256 Kbps|512 Kbps;120 Kbps",
     "Auto|11 fps|15 fps|20 fps|24 fps|25 fps;15 fps", "amr_nb|mpeg4aac;amr_nb", "A3;4750 bps", "Mono",
     "8000  Hz|16000 Hz;8000  Hz"},
    {39, "Creative Zen Vision (*.avi)", "AVI", 65, "MPEG4", "S3;640 x 480", "B3;1200 Kbps", "F1;Auto",
     "mp3|mp2;mp3", "A1;128 Kbps", "Stereo", "R1;48000 Hz"},
    {40, "iRiver PMP100 (*.avi)", "AVI", 66, "MPEG4", "S3;640 x 480", "B3;1200 Kbps", "F1;Auto",
     "mp3|mp2;mp3", "A1;128 Kbps", "Stereo", "R1;48000 Hz"},
    {41, "PSP Video (*.mp4)", "MP4", 53, "MPEG4|H264|XVID;MPEG4",
     "160 x 112|320 x 240|368 x 208|480 x 272;368 x 208", "768 Kbps", "14.985 fps|29.97 fps;29.97 fps",
     "mpeg4aac", "32 Kbps|48 Kbps|64 Kbps|96 Kbps|128 Kbps|160 Kbps;128 Kbps", "Stereo", "24000 Hz"},
    {42, "PS3 Video (*.mp4)", "MP4", 58, "H264", "640 x 480|720 x 480|720 x 576;720 x 480",
     "1200 Kbps|1500 Kbps|2000 Kbps|2500 Kbps|3000 Kbps;2500 Kbps", "29.97 fps", "mpeg4aac", "A1;128 Kbps",
     "Stereo", "R1*;44100 Hz"},
    {43, "Zune Mpeg4 Video (*.mp4)", "MP4", 49, "MPEG4|H264;MPEG4", "320 x 240 |640 x 480;320 x 240 ",
     nullptr, "29.97 fps", "mpeg4aac", "A1;128 Kbps", "Stereo", "R1*;44100 Hz"},
    {44, "Zune WMV Windows Media Video (*.wmv)", "WMV", 50, "WMV2", "320 x 240 |640 x 480;320 x 240 ",
     nullptr, "F1;Auto", "wmav2", "A1;128 Kbps", "Stereo", "R1*;48000 Hz"},
};

QString VideoBitrateCell(const TEntry& AEntry) {
    if (AEntry.VideoBitrate)
        return AEntry.VideoBitrate;
    // The two Zune entries share one list and differ only in the default.
    return QString(ZuneBitrates) + (AEntry.Number == 49 ? ";1500 Kbps" : ";1200 Kbps");
}

void ExpectList(const TSettingsList& AList, const QString& ACell, const TEntry& AEntry) {
    const TExpectedList expected = Expand(ACell);
    EXPECT_EQ(AList.Items(), expected.Items) << AEntry.ComboText << ": " << AList.Caption().toStdString();
    EXPECT_EQ(AList.ItemIndex(), expected.Index) << AEntry.ComboText << ": " << AList.Caption().toStdString();
}

void ExpectEntryApplied(const TConversionSettings& ASettings, const TEntry& AEntry) {
    SCOPED_TRACE(AEntry.ComboText);
    EXPECT_EQ(ASettings.ComboOutputFormat.Text(), AEntry.ComboText);
    EXPECT_EQ(ASettings.CurrentOutputFormat(), AEntry.OutFormat);
    EXPECT_EQ(ASettings.OutputExtension(), "." + QString(AEntry.OutFormat).toLower());
    ASSERT_NE(ASettings.SelectedAVCodec(), nullptr);
    EXPECT_EQ(ASettings.SelectedAVCodec()->Number, AEntry.Number);
    EXPECT_EQ(ASettings.LastFormatIndex(), AEntry.Position);

    ExpectList(ASettings.ComboVideoCodec, AEntry.VideoCodec, AEntry);
    ExpectList(ASettings.ComboVideoSize, AEntry.VideoSize, AEntry);
    ExpectList(ASettings.ComboVideoBitrate, VideoBitrateCell(AEntry), AEntry);
    ExpectList(ASettings.ComboVideoFramerate, AEntry.FrameRate, AEntry);
    ExpectList(ASettings.ComboAudioCodec, AEntry.AudioCodec, AEntry);
    ExpectList(ASettings.ComboAudioBitrate, AEntry.AudioBitrate, AEntry);
    ExpectList(ASettings.ComboAudioChannels, QString("Stereo|Mono;") + AEntry.Channels, AEntry);
    ExpectList(ASettings.ComboSamplingRate, AEntry.SamplingRate, AEntry);

    // The simple panel shows the same choices as the advanced one right after a format change.
    for (auto [simple, advanced] :
         {std::pair{&ASettings.ComboBoxVideoSize, &ASettings.ComboVideoSize},
          std::pair{&ASettings.ComboBoxVideoFramerate, &ASettings.ComboVideoFramerate},
          std::pair{&ASettings.ComboBoxAudioChannels, &ASettings.ComboAudioChannels}}) {
        EXPECT_EQ(simple->Items(), advanced->Items()) << simple->Caption().toStdString();
        EXPECT_EQ(simple->ItemIndex(), advanced->ItemIndex()) << simple->Caption().toStdString();
    }
}

// Records what the format change writes into the job list.
class TFakeOutputColumn : public IOutputColumn {
public:
    explicit TFakeOutputColumn(int ARows) : Cells(ARows, "untouched") {}
    int RowCount() const override { return static_cast<int>(Cells.size()); }
    void SetOutputText(int ARow, const QString& AText) override {
        Cells.at(ARow) = AText;
        ++Writes;
    }
    std::vector<QString> Cells;
    int Writes = 0;
};

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override { Settings.FillStartupLists(); }

    // Everything a format change may touch, to show that a refused choice touched nothing.
    QList<QPair<QStringList, int>> Snapshot() const {
        QList<QPair<QStringList, int>> lists;
        for (const TSettingsList* list :
             {&Settings.ComboVideoCodec, &Settings.ComboVideoSize, &Settings.ComboVideoBitrate,
              &Settings.ComboVideoFramerate, &Settings.ComboAudioCodec, &Settings.ComboAudioBitrate,
              &Settings.ComboAudioChannels, &Settings.ComboSamplingRate, &Settings.ComboBoxVideoSize,
              &Settings.ComboBoxVideoFramerate, &Settings.ComboBoxAudioChannels})
            lists.append({list->Items(), list->ItemIndex()});
        return lists;
    }

    TConversionSettings Settings;
};

TEST_F(CatalogueTest, FormatListHoldsTheEntriesInOrderWithThreeSeparators) {
    TConversionSettings fresh;
    fresh.FillComboOutputFormat();
    const QStringList items = fresh.ComboOutputFormat.Items();
    ASSERT_EQ(items.size(), 45);
    EXPECT_EQ(fresh.ComboOutputFormat.ItemIndex(), 0);
    EXPECT_EQ(fresh.ComboOutputFormat.DropDownCount(), 45);

    const QString separator = QString(14, ' ') + QString(41, '-');
    std::set<int> entryPositions;
    for (const TEntry& entry : Entries) {
        entryPositions.insert(entry.Position);
        EXPECT_EQ(items.at(entry.Position), entry.ComboText);
        const TheAVCodec* codec = FindAVCodec(entry.ComboText);
        ASSERT_NE(codec, nullptr) << entry.ComboText;
        EXPECT_EQ(codec->OutFormat, entry.OutFormat);
        EXPECT_EQ(codec->Number, entry.Number);
    }
    EXPECT_EQ(entryPositions.size(), 42u);
    EXPECT_EQ(AVCodecs().size(), 42u);
    for (int position : {18, 28, 33})
        EXPECT_EQ(items.at(position), separator) << position;
}

TEST_F(CatalogueTest, EveryEntryFillsItsProfileWhateverWasSelectedBefore) {
    // Forwards and then backwards through one window, so every entry follows a different one and a
    // list that a profile forgot to refill shows up as a leftover of its predecessor.
    for (const TEntry& entry : Entries) {
        Settings.SelectOutputFormat(entry.Position);
        ExpectEntryApplied(Settings, entry);
    }
    for (auto it = std::rbegin(Entries); it != std::rend(Entries); ++it) {
        Settings.SelectOutputFormat(it->Position);
        ExpectEntryApplied(Settings, *it);
    }
}

TEST_F(CatalogueTest, SeparatorReturnsToThePreviousEntryAndChangesNothing) {
    TFakeOutputColumn column(2);
    Settings.SetOutputColumn(&column);
    Settings.SelectOutputFormat(3);                  // AVI
    Settings.ComboVideoBitrate.SetText("1500 Kbps"); // a user's choice survives too
    const auto before = Snapshot();
    const int writes = column.Writes;

    for (int separator : {18, 28, 33}) {
        Settings.SelectOutputFormat(separator);
        EXPECT_EQ(Settings.ComboOutputFormat.ItemIndex(), 3);
        EXPECT_EQ(Settings.LastFormatIndex(), 3);
        EXPECT_EQ(Settings.CurrentOutputFormat(), "AVI");
        EXPECT_EQ(Snapshot(), before);
        EXPECT_EQ(column.Writes, writes);
    }
}

TEST_F(CatalogueTest, FormatChangeWritesTheShortNameIntoEveryRow) {
    TFakeOutputColumn column(3);
    Settings.SetOutputColumn(&column);
    Settings.SelectOutputFormat(13); // RM - Real Video
    EXPECT_EQ(column.Cells, (std::vector<QString>{"RM", "RM", "RM"}));
    EXPECT_EQ(Settings.OutputExtension(), ".rm");

    // With no rows the lists are filled all the same.
    TFakeOutputColumn empty(0);
    Settings.SetOutputColumn(&empty);
    Settings.SelectOutputFormat(23); // MP3
    EXPECT_TRUE(Settings.ComboVideoCodec.Items().isEmpty());
    EXPECT_EQ(Settings.ComboAudioBitrate.Text(), "192 Kbps");
    EXPECT_EQ(Settings.ComboSamplingRate.Text(), "48000 Hz");
}

TEST_F(CatalogueTest, MobileFormatsChooseMonoAndOthersStereoAgain) {
    Settings.SelectOutputFormat(10); // the simple channel list is filled by the first change
    struct TStep {
        int Position;
        const char* Channels;
    };
    for (const TStep& step :
         {TStep{1, "Mono"}, TStep{3, "Stereo"}, TStep{38, "Mono"}, TStep{0, "Mono"}, TStep{29, "Stereo"}}) {
        // Whatever the user picked before, the format change decides.
        Settings.ComboAudioChannels.SetItemIndex(step.Channels == QString("Mono") ? 0 : 1);
        Settings.ComboBoxAudioChannels.SetItemIndex(step.Channels == QString("Mono") ? 0 : 1);
        Settings.SelectOutputFormat(step.Position);
        EXPECT_EQ(Settings.ComboAudioChannels.Text(), step.Channels) << step.Position;
        EXPECT_EQ(Settings.ComboBoxAudioChannels.Text(), step.Channels) << step.Position;
    }
}

TEST_F(CatalogueTest, DropDownLengthFollowsTheOptionsAndFallsBackTo25) {
    EXPECT_EQ(Settings.ComboOutputFormat.DropDownCount(), 25); // after start-up filling
    Settings.SelectOutputFormat(2);
    EXPECT_EQ(Settings.ComboOutputFormat.DropDownCount(), 25); // no options dialog to ask

    TAdditionalOptions options;
    Settings.SetAdditionalOptions(&options);
    Settings.SelectOutputFormat(3);
    EXPECT_EQ(Settings.ComboOutputFormat.DropDownCount(), 26);

    // A change of the spin value takes effect at once and is remembered.
    options.SetDropDownItems(40);
    EXPECT_EQ(Settings.ComboOutputFormat.DropDownCount(), 40);
    EXPECT_EQ(Settings.CurrentComboDropDownItem(), 40);
    options.SetDropDownItems(100);
    EXPECT_EQ(Settings.ComboOutputFormat.DropDownCount(), 47);

    Settings.ComboOutputFormat.SetDropDownCount(10);
    Settings.ComboOutputFormatDropDown();
    EXPECT_EQ(Settings.ComboOutputFormat.DropDownCount(), 47);

    Settings.SetAdditionalOptions(nullptr);
    options.SetDropDownItems(30); // detached: no longer followed
    EXPECT_EQ(Settings.ComboOutputFormat.DropDownCount(), 47);
    Settings.ComboOutputFormatDropDown();
    EXPECT_EQ(Settings.ComboOutputFormat.DropDownCount(), 25);
}

TEST_F(CatalogueTest, StartUpListsAndTheirDefaults) {
    const QStringList quality = {"Highest", "Higher", "Normal", "Lower", "Lowest"};
    EXPECT_EQ(Settings.ComboBoxVideoQuality.Items(), quality);
    EXPECT_EQ(Settings.ComboBoxVideoQuality.Text(), "Highest");
    EXPECT_EQ(Settings.ComboBoxAudioQuality.Items(), quality);
    EXPECT_EQ(Settings.ComboBoxAudioQuality.Text(), "Highest");
    EXPECT_EQ(Settings.ComboLetterBox.Items(), (QStringList{"None", "LetterBox"}));
    EXPECT_EQ(Settings.ComboLetterBox.Text(), "None");
    EXPECT_EQ(Settings.ComboAspectRatio.Items(),
              (QStringList{"Original", "4:3 (Standard", "16:9 (Wide Screen)"}));
    EXPECT_EQ(Settings.ComboAspectRatio.Text(), "Original");
    EXPECT_TRUE(Settings.CurrentOutputFormat().isEmpty());
    EXPECT_TRUE(Settings.OutputExtension().isEmpty());

    // Profiles put the aspect ratio back on "Original"; nothing else touches the general lists.
    Settings.ComboAspectRatio.SetItemIndex(2);
    Settings.ComboLetterBox.SetItemIndex(1);
    Settings.ComboBoxVideoQuality.SetItemIndex(3);
    Settings.SelectOutputFormat(10);
    EXPECT_EQ(Settings.ComboAspectRatio.Text(), "Original");
    EXPECT_EQ(Settings.ComboLetterBox.Text(), "LetterBox");
    EXPECT_EQ(Settings.ComboBoxVideoQuality.Text(), "Lower");
}

TEST_F(CatalogueTest, MisuseIsRefused) {
    EXPECT_THROW(Settings.FillProfileLists(4), std::invalid_argument); // no entry uses 4
    EXPECT_THROW(Settings.SelectOutputFormat(45), std::out_of_range);
    EXPECT_THROW(Settings.ComboVideoCodec.SetItemIndex(0), std::out_of_range); // still empty
    EXPECT_FALSE(Settings.ComboLetterBox.SetText("letterbox"));                // texts match exactly
    EXPECT_EQ(Settings.ComboLetterBox.ItemIndex(), 0);
}

} // namespace
