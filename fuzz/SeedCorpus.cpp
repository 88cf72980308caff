// Writes the starting corpus of each fuzz target into a folder (bench/fuzz.sh runs it):
//   vantorix_fuzz_seeds FOLDER fuzz/option_text.dict
// FOLDER/probe        small media files of the common containers, written by the fixtures
// FOLDER/option_text  option texts of every family of options, input and output parts, and
//                     every option name of the dictionary with edge values
// FOLDER/settings     settings files as the settings store writes them, and hand-edited ones
#include <QSettings>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "AdditionalOptions.h"
#include "ConversionSettings.h"
#include "MediaFixtures.h"
#include "SettingsStore.h"

using namespace vx;
using namespace vx::fixtures;

namespace {

void WriteText(const std::filesystem::path& APath, const std::string& AText) {
    std::ofstream(APath, std::ios::binary) << AText;
}

// Short and small, so that the fuzzer starts from inputs of a few kilobytes.
void WriteProbeSeeds(const std::filesystem::path& AFolder) {
    const TVideoSpec mpeg4{"mpeg4", 64, 48, {10, 1}, 100000};
    const TAudioSpec mp3{"libmp3lame", 22050, 1, 32000};
    const struct {
        const char* Name;
        TMediaSpec Spec;
    } seeds[] = {
        {"clip.avi", {"avi", {mpeg4}, {mp3}, 0.3}},
        {"clip.mp4", {"mp4", {{"libx264", 64, 48, {10, 1}}}, {{"aac", 48000, 2, 64000}}, 0.3}},
        {"tone.wav", {"wav", {}, {{"pcm_s16le", 8000, 1}}, 0.1}},
        {"song.mp3", {"mp3", {}, {mp3}, 0.3}},
        {"two.mkv",
         {"matroska",
          {mpeg4, {"mpeg4", 32, 16, {30000, 1001}}},
          {mp3},
          0.3,
          {{"title", "Title"}, {"year", "2011"}, {"track", "7"}},
          {{0, 0.1, "One"}, {0.1, 0.3, "Two"}}}},
        {"clip.mpg", {"mpeg", {{"mpeg1video", 64, 48, {25, 1}}}, {{"mp2", 44100, 2, 64000}}, 0.3}},
        {"clip.ts", {"mpegts", {{"mpeg2video", 64, 48, {25, 1}}}, {{"mp2", 48000, 2, 64000}}, 0.3}},
        {"clip.flv", {"flv", {{"flv", 64, 48, {10, 1}}}, {mp3}, 0.3}},
        {"clip.wmv", {"asf", {{"wmv2", 64, 48, {10, 1}}}, {{"wmav2", 22050, 1, 32000}}, 0.3}},
        {"clip.ogg", {"ogg", {}, {{"libvorbis", 22050, 1, 32000}}, 0.3}},
        {"clip.mov", {"mov", {mpeg4}, {{"pcm_s16le", 8000, 1}}, 0.3}},
    };
    for (const auto& seed : seeds) {
        try {
            WriteMedia((AFolder / seed.Name).string(), seed.Spec);
        } catch (const std::exception& e) {
            // One encoder missing from this build of the libraries costs one seed only.
            std::fprintf(stderr, "seed %s skipped: %s\n", seed.Name, e.what());
        }
    }
    // A file cut short behind its header, and text with a media extension.
    WriteTruncatedCopy((AFolder / "clip.avi").string(), (AFolder / "cut.avi").string(), 2000);
    WriteText(AFolder / "notes.avi", "not a media file\n");
}

// Input part, a zero byte, output part: the split RunOptionText makes.
void WriteOptionTextSeeds(const std::filesystem::path& AFolder) {
    const std::pair<std::string, std::string> texts[] = {
        {"", ""},
        {"", "vcodec=mpeg4\r\nacodec=libmp3lame\r\nb=200k\r\nab=32000"},
        {"ss=0.1\nitsoffset=0.05", "t=0.2\nvframes=3\naframes=20"},
        {"f=avi\nvcodec=mpeg4", "f=matroska\nvcodec=copy\nacodec=copy"},
        {"", "s=32x16\nr=5\naspect=4:3\npix_fmt=yuv420p\nqscale=4"},
        {"", "ar=8000\nac=1\nvol=512\nsample_fmt=s16p\nasync=1"},
        {"", "map=0.0\nmap=0:1\nmap_metadata=0,s0:0\nmap_chapters=0:0\nmetadata=title=Fuzz"},
        {"", "vf=scale=32:16,rotate=45,nativehue=h=90\nvcodec=mpeg4"},
        {"",
         "intra_matrix=8,16,19,22,26,27,29,34,16,16,22,24,27,29,34,37,19,22,26,27,29,34,34,38,22,22,26,"
         "27,29,34,37,40,22,26,27,29,32,35,40,48,26,27,29,32,35,40,48,58,26,27,29,34,38,46,56,69,27,29,35,"
         "38,46,56,69,83\nrc_override=0,2,5/3,2,-10"},
        {"", "force_key_frames=0,0.1,0.2\nstreamid=0:33\nvtag=XVID\natag=85"},
        {"", "target=pal-vcd"},
        {"", "target=ntsc-dvd\nvn=0\nan"},
        {"", "vbsf=null\nabsf=null\nnewaudio\nnewvideo"},
        {"", "vsync=2\ncopyts\nshortest\nfs=4000\nthreads=2\nloglevel=error"},
        {"", "pass=1\npasslogfile=stats\nvstats_file=vstats.log"},
        {"", "f=mp4\nvcodec=libx264\npreset=ultrafast\nmovflags=+faststart\ng=5\nbf=0"},
        {"", "f=wav\nvn\nacodec=pcm_s16le"},
        {"", "f=mpeg\nvcodec=mpeg2video\nacodec=mp2\ntimestamp=2011-01-02 03:04:05"},
        {"", "itsscale=0:2.0<CRLF>dts_delta_threshold=5<CRLF>muxdelay=0.1<CRLF>muxpreload=0.1"},
    };
    int n = 0;
    for (const auto& [input, output] : texts)
        WriteText(AFolder / ("text" + std::to_string(++n)), input + std::string(1, '\0') + output);
}

// Every option name of the dictionary ("name=" entries) with the values at the edges of the
// types options are read into, once for the input and once for the output: most faults of
// option values sit there, and random mutation rarely builds such numbers.
void WriteOptionEdgeSeeds(const std::filesystem::path& AFolder, const std::filesystem::path& ADictionary) {
    const char* const values[] = {"2147483647",
                                  "-2147483648",
                                  "9223372036854775807",
                                  "-9223372036854775808",
                                  "4294967296",
                                  "1e38",
                                  "-1e38",
                                  "1e-38",
                                  "0",
                                  "-1",
                                  "1152921504606",
                                  "-1152921504606"};
    std::ifstream dictionary(ADictionary);
    int n = 0;
    for (std::string line; std::getline(dictionary, line);) {
        if (line.size() < 4 || line.front() != '"' || line.compare(line.size() - 2, 2, "=\"") != 0)
            continue;
        const std::string name = line.substr(1, line.size() - 2);
        if (name == "vhook=") // would load whatever library the value names
            continue;
        for (const char* value : values) {
            WriteText(AFolder / ("edge" + std::to_string(++n)), name + value + std::string(1, '\0'));
            WriteText(AFolder / ("edge" + std::to_string(++n)), std::string(1, '\0') + name + value);
        }
    }
}

void WriteSettingsSeeds(const std::filesystem::path& AFolder) {
    // What the store itself writes, for a few sets of choices.
    const std::filesystem::path scratch = AFolder / "store";
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QString::fromStdString(scratch.string()));
    const struct {
        const char* Folder;
        int Format, DropDown, View, LetterBox;
        bool Overwrite;
    } choices[] = {
        {"", 0, 26, 0, 0, false},
        {"/tmp/out, old/Видео 動画", 13, 40, 1, 1, true},
        {"C:\\Users\\a;b=c\"d", 44, 47, 1, 0, false},
    };
    int n = 0;
    for (const auto& c : choices) {
        {
            TConversionSettings settings;
            TAdditionalOptions options;
            settings.FillStartupLists();
            settings.SetOutputFolder(QString::fromUtf8(c.Folder));
            settings.ComboOutputFormat.SetItemIndex(c.Format);
            settings.ComboLetterBox.SetItemIndex(c.LetterBox);
            options.SetOverwrite(c.Overwrite);
            options.SetDropDownItems(c.DropDown);
            options.SetSimpleAdvanceSettings(c.View);
            TSettingsStore(settings, options).SaveSettings();
        }
        std::filesystem::rename(scratch / "Quenlo" / "Vantorix.conf",
                                AFolder / ("saved" + std::to_string(++n)));
    }
    std::filesystem::remove_all(scratch);
    // Files edited by hand or damaged.
    WriteText(AFolder / "edited1", "[General]\nDropDownItems=100\nSimpleAdvanceSettings=1\nLetterBox=-1\n");
    WriteText(AFolder / "edited2", "[General]\nComboOutputFormat=3\nOverwrite=true\nOutput%20Folder=@Variant("
                                   "\\0\\0\\0\\x7f\\0\\0\\0\\x12QVariantList)\n");
    WriteText(AFolder / "edited3", "Output Folder=\"a, b\", c\nComboOutputFormat=9999999999\n[Other]\nx=1\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER OPTION_DICTIONARY\n", argv[0]);
        return 2;
    }
    const std::filesystem::path root(argv[1]);
    try {
        for (const char* target : {"probe", "option_text", "settings"})
            std::filesystem::create_directories(root / target);
        WriteProbeSeeds(root / "probe");
        WriteOptionTextSeeds(root / "option_text");
        WriteOptionEdgeSeeds(root / "option_text", argv[2]);
        WriteSettingsSeeds(root / "settings");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
