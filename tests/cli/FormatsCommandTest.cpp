// "formats": the list as the window shows it, and --json against the catalogue.
#include <QJsonArray>
#include <QJsonDocument>

#include "CliTestSupport.h"
#include "ConversionSettings.h"
#include "OutputCatalogue.h"

using namespace vx;
using namespace vx::clitest;

namespace {

QJsonArray FormatsJson() {
    const TCliResult result = RunCli({"formats", "--json"});
    EXPECT_EQ(result.ExitCode, 0) << result;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(result.Out, &error);
    EXPECT_TRUE(document.isArray()) << error.errorString().toStdString();
    return document.array();
}

QStringList Strings(const QJsonValue& AArray) {
    QStringList strings;
    for (const QJsonValue& value : AArray.toArray())
        strings << value.toString();
    return strings;
}

TEST(FormatsCommandTest, PlainListIsTheFormatListLineByLine) {
    const TCliResult result = RunCli({"formats"});
    ASSERT_EQ(result.ExitCode, 0) << result;
    QStringList lines = QString::fromUtf8(result.Out).split('\n');
    ASSERT_EQ(lines.takeLast(), "");
    EXPECT_EQ(lines, FormatListItems());
}

// Every position, read back from the settings lists the window itself fills: the JSON must say
// what choosing the entry in the window would show.
TEST(FormatsCommandTest, JsonDescribesEveryPositionAsTheWindowFillsIt) {
    const QJsonArray formats = FormatsJson();
    const QStringList items = FormatListItems();
    ASSERT_EQ(formats.size(), items.size());
    for (int position = 0; position < items.size(); ++position) {
        const QJsonObject entry = formats[position].toObject();
        SCOPED_TRACE(items[position].toStdString());
        EXPECT_EQ(entry["position"].toInt(-1), position);
        EXPECT_EQ(entry["text"].toString(), items[position]);
        if (IsFormatListSeparator(items[position])) {
            EXPECT_EQ(entry["separator"], QJsonValue(true));
            EXPECT_EQ(entry.size(), 3);
            continue;
        }
        const TheAVCodec* codec = FindAVCodec(items[position]);
        ASSERT_NE(codec, nullptr);
        EXPECT_EQ(entry["short"].toString(), codec->OutFormat);
        EXPECT_EQ(entry["profile"].toInt(-1), codec->Number);
        // A reason exactly when the entry cannot be written here.
        ASSERT_TRUE(entry["available"].isBool());
        EXPECT_EQ(entry["available"].toBool(), entry["reason"].isNull());

        TConversionSettings settings;
        settings.FillStartupLists();
        settings.SelectOutputFormat(position);
        const std::pair<const char*, const TSettingsList*> lists[] = {
            {"Video Codec", &settings.ComboVideoCodec},
            {"Video Size", &settings.ComboVideoSize},
            {"Video Bitrate", &settings.ComboVideoBitrate},
            {"Video Framerate", &settings.ComboVideoFramerate},
            {"Audio Codec", &settings.ComboAudioCodec},
            {"Audio Bitrate", &settings.ComboAudioBitrate},
            {"Audio Channels", &settings.ComboAudioChannels},
            {"Sampling Rate", &settings.ComboSamplingRate},
        };
        const QJsonObject jsonLists = entry["lists"].toObject();
        EXPECT_EQ(jsonLists.size(), 8);
        for (const auto& [name, list] : lists) {
            const QJsonObject jsonList = jsonLists[name].toObject();
            EXPECT_EQ(Strings(jsonList["items"]), list->Items()) << name;
            if (list->ItemIndex() < 0)
                EXPECT_TRUE(jsonList["default"].isNull()) << name;
            else
                EXPECT_EQ(jsonList["default"].toString(), list->Text()) << name;
        }
    }
}

// A few entries written out by hand, as the catalogue's own tests have them.
TEST(FormatsCommandTest, JsonHoldsTheCataloguesEntries) {
    const QJsonArray formats = FormatsJson();
    ASSERT_EQ(formats.size(), 45);

    for (const int separator : {18, 28, 33}) {
        EXPECT_EQ(formats[separator]["separator"], QJsonValue(true)) << separator;
        EXPECT_EQ(formats[separator]["text"].toString(), QString(14, ' ') + QString(41, '-')) << separator;
    }

    const QJsonObject mp4 = formats[10].toObject();
    EXPECT_EQ(mp4["text"].toString(), "MP4 - MPEG4 Video (*.mp4)");
    EXPECT_EQ(mp4["short"].toString(), "MP4");
    EXPECT_EQ(mp4["profile"].toInt(), 27);
    const QJsonObject mp4Lists = mp4["lists"].toObject();
    EXPECT_EQ(Strings(mp4Lists["Video Codec"]["items"]), (QStringList{"MPEG4", "H264", "XVid"}));
    EXPECT_EQ(mp4Lists["Video Codec"]["default"].toString(), "MPEG4");
    EXPECT_EQ(mp4Lists["Video Size"]["default"].toString(), "Original Video Size");
    EXPECT_EQ(mp4Lists["Video Size"]["items"].toArray().size(), 23);
    EXPECT_EQ(mp4Lists["Video Bitrate"]["default"].toString(), "6000 Kbps");
    EXPECT_EQ(mp4Lists["Video Framerate"]["default"].toString(), "Auto");
    EXPECT_EQ(Strings(mp4Lists["Audio Codec"]["items"]), QStringList{"mpeg4aac"});
    EXPECT_EQ(mp4Lists["Audio Bitrate"]["default"].toString(), "128 Kbps");
    EXPECT_EQ(Strings(mp4Lists["Audio Channels"]["items"]), (QStringList{"Stereo", "Mono"}));
    EXPECT_EQ(mp4Lists["Audio Channels"]["default"].toString(), "Stereo");
    EXPECT_EQ(mp4Lists["Sampling Rate"]["default"].toString(), "44100 Hz");

    // Mobile formats start on one channel; their rates keep the list's double blank.
    const QJsonObject gp3 = formats[0]["lists"].toObject();
    EXPECT_EQ(gp3["Audio Channels"]["default"].toString(), "Mono");
    EXPECT_EQ(Strings(gp3["Sampling Rate"]["items"]), (QStringList{"8000  bps", "16000 bps"}));
    EXPECT_EQ(gp3["Audio Bitrate"]["default"].toString(), "7400 bps");

    // The disc targets offer only their norms.
    const QJsonObject dvd = formats[7]["lists"].toObject();
    EXPECT_EQ(Strings(dvd["Video Framerate"]["items"]), (QStringList{"29.97 fps [NTSC]", "25 fps [PAL]"}));
    EXPECT_EQ(Strings(dvd["Video Size"]["items"]), QStringList{"Auto"});

    // Audio-only entries: the video lists are empty and select nothing.
    const QJsonObject mp3 = formats[23].toObject();
    EXPECT_EQ(mp3["text"].toString(), "MP3 - Mpeg Layer3 Audio (*.mp3)");
    for (const char* name : {"Video Codec", "Video Size", "Video Bitrate", "Video Framerate"}) {
        EXPECT_TRUE(mp3["lists"][name]["items"].toArray().isEmpty()) << name;
        EXPECT_TRUE(mp3["lists"][name]["default"].isNull()) << name;
    }
    EXPECT_EQ(mp3["lists"]["Audio Bitrate"]["default"].toString(), "192 Kbps");

    const QJsonObject zune = formats[44].toObject();
    EXPECT_EQ(zune["text"].toString(), "Zune WMV Windows Media Video (*.wmv)");
    EXPECT_EQ(zune["short"].toString(), "WMV");
    EXPECT_EQ(zune["profile"].toInt(), 50);
}

} // namespace
