#include "ProfileTables.h"

#include <map>

namespace vx {

namespace {

// Several items carry doubled or trailing blanks ("8000  Hz", "384  Kbps", "320 x 240 "). They are
// kept as they are: each list reads its items' values from these texts once (SettingValues.h) and
// copes with them, and a stored or scripted choice matches the list only when the texts are equal.

const QStringList S1 = {"Original Video Size", "128 x 96 (SQCIF)", "160 x 120 (QVGA)", "176 x 120",
                        "176 x 144 (QCIF)",    "192 x 144",        "208 x 176",        "220 x 176",
                        "240 x 180",           "320 x 200",        "320 x 240 (VGA)",  "352 x 240",
                        "352 x 288 (CIF)",     "480 x 272",        "480 x 360",        "480 x 480",
                        "480 x 576",           "624 x 352",        "640 x 352",        "640 x 480",
                        "704 x 576 (4CIF)",    "720 x 480",        "720 x 576"};
const QStringList S2 = {"128 x 96 (SQCIF)", "160 x 120 (QVGA)", "176 x 144 (QCIF)", "208 x 176",
                        "220 x 176",        "320 x 240 (VGA)",  "352 x 288 (CIF)"};
const QStringList S3 = {"Auto", "160 x 120", "320 x 240", "480 x 272", "720 x 480", "640 x 480"};

const QStringList B1 = {"192 Kbps",  "200 Kbps",  "216 Kbps",  "384 Kbps",  "512 Kbps",  "640 Kbps",
                        "768 Kbps",  "1000 Kbps", "1200 Kbps", "1500 Kbps", "1600 Kbps", "2000 Kbps",
                        "2500 Kbps", "3000 Kbps", "4000 Kbps", "5000 Kbps", "6000 Kbps"};
const QStringList B2 = {"192 Kbps",  "200 Kbps",  "216 Kbps",  "384 Kbps",  "512 Kbps",
                        "640 Kbps",  "768 Kbps",  "1000 Kbps", "1200 Kbps", "1500 Kbps",
                        "2500 Kbps", "3000 Kbps", "4000 Kbps", "5000 Kbps", "6000 Kbps"};
const QStringList B3 = {"192 Kbps",  "200 Kbps",  "216 Kbps",  "384 Kbps",  "512 Kbps",
                        "640 Kbps",  "768 Kbps",  "1000 Kbps", "1200 Kbps", "1500 Kbps",
                        "1600 Kbps", "2000 Kbps", "2500 Kbps"};
const QStringList B4 = {"512 Kbps", "800 Kbps", "1200 Kbps", "1500 Kbps", "2500 Kbps"};

const QStringList F1 = {"Auto", "14.985 fps", "15.0 fps", "23.975 fps", "25.0 fps", "29.97 fps", "30.0 fps"};
const QStringList F2 = {"29.97 fps [NTSC]", "25 fps [PAL]"};

const QStringList A1 = {"32 Kbps",  "40 Kbps",  "48 Kbps",  "64 Kbps",  "80 Kbps",  "96 Kbps", "112 Kbps",
                        "128 Kbps", "160 Kbps", "192 Kbps", "224 Kbps", "256 Kbps", "320 Kbps"};
const QStringList A2 = QStringList{"Original"} + A1;
const QStringList A3 = {"4750 bps", "5150 bps", "5900 bps",  "6700 bps",
                        "7400 bps", "7950 bps", "10200 bps", "12200 bps"};

const QStringList R1 = {"8000 Hz",  "16000 Hz", "22050 Hz", "32000 Hz",
                        "44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"};
const QStringList R1Wide = {"8000  Hz", "16000 Hz", "22050 Hz", "32000 Hz",
                            "44100 Hz", "48000 Hz", "54000 Hz", "96000 Hz"};

// A list with a single item, which is also its default.
TProfileList One(const QString& AItem) {
    return {{AItem}, AItem};
}

const TProfileList Empty{};

std::map<int, TProfile> BuildProfiles() {
    std::map<int, TProfile> p;

    const TProfile mobile = {
        {{"MPEG4", "H263", "H264"}, "MPEG4"},
        {S2, "176 x 144 (QCIF)"},
        {{"48 Kbps", "64 Kbps", "96 Kbps", "128 Kbps", "256 Kbps", "512 Kbps"}, "128 Kbps"},
        {{"Auto", "11 fps", "14.985 fps", "15 fps"}, "Auto"},
        {{"amr_nb", "mpeg4aac"}, "amr_nb"},
        {A3, "7400 bps"},
        {{"8000  bps", "16000 bps"}, "8000  bps"},
    };
    p[0] = mobile; // 3GP
    p[1] = mobile; // 3G2

    p[38] = {// ASF
             One("MSMPEG4"),
             {S1, "Original Video Size"},
             {{"1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps", "3000 Kbps"}, "1200 Kbps"},
             {F1, "Auto"},
             One("mp3"),
             {A1, "128 Kbps"},
             {R1, "48000 Hz"}};

    const TProfileList aviAudio = {{"pcm_s16le", "mp3", "mp2", "ac3"}, "pcm_s16le"};
    p[22] = {// AVI
             {{"MPEG4", "H264"}, "MPEG4"},
             {S1, "Original Video Size"},
             {B2, "6000 Kbps"},
             {F1, "Auto"},
             aviAudio,
             {A2, "128 Kbps"},
             {R1, "48000 Hz"}};
    p[23] = {// AVI DivX
             One("MPEG4"),      {S1, "Original Video Size"},
             {B2, "6000 Kbps"}, {F1, "Auto"},
             One("mp3"),        {A2, "128 Kbps"},
             {R1, "48000 Hz"}};
    p[25] = {// AVI Uncompress
             One("RAWVIDEO"),   {S1, "Original Video Size"},
             {B2, "6000 Kbps"}, {F1, "Auto"},
             aviAudio,          {A2, "128 Kbps"},
             {R1, "48000 Hz"}};
    p[24] = {// AVI XviD
             One("XVID"),       {S1, "Original Video Size"},
             {B2, "6000 Kbps"}, {F1, "Auto"},
             One("mp3"),        {A2, "128 Kbps"},
             {R1, "48000 Hz"}};

    // The disc targets fix size and bit rates themselves; the lists only say so.
    p[47] = {One("MPEG2VIDEO"), One("Auto"), One("Auto"), {F2, "29.97 fps [NTSC]"},
             One("ac3"),        One("Auto"), One("Auto")}; // DVD
    p[35] = {One("MPEG2VIDEO"), One("Auto"), One("Auto"), {F2, "29.97 fps [NTSC]"},
             One("mp2"),        One("Auto"), One("Auto")}; // Super Video CD
    p[34] = {One("MPEG1VIDEO"), One("Auto"), One("Auto"), {F2, "29.97 fps [NTSC]"},
             One("mp2"),        One("Auto"), One("Auto")}; // Video CD

    const TProfile flash = {One("FLV"),
                            {S1, "Original Video Size"},
                            {B1, "200 Kbps"},
                            {F1, "15.0 fps"},
                            One("mp3"),
                            {A1, "64 Kbps"},
                            {{"11025 Hz", "22050 Hz", "44100 Hz"}, "44100 Hz"}};
    p[33] = flash; // FLV
    p[32] = flash; // SWF

    p[26] = {// MOV
             One("MPEG4"),      {S1, "Original Video Size"},
             {B1, "6000 Kbps"}, {F1, "Auto"},
             One("mpeg4aac"),   {A1, "128 Kbps"},
             {R1, "44100 Hz"}};
    p[27] = {// MP4
             {{"MPEG4", "H264", "XVid"}, "MPEG4"},
             {S1, "Original Video Size"},
             {B1, "6000 Kbps"},
             {F1, "Auto"},
             One("mpeg4aac"),
             {A1, "128 Kbps"},
             {R1, "44100 Hz"}};
    p[28] = {// MPEG-1
             One("MPEG1VIDEO"), {S1, "Original Video Size"},
             {B1, "1600 Kbps"}, {F1, "25.0 fps"},
             One("mp2"),        {A1, "192 Kbps"},
             {R1, "44100 Hz"}};
    p[29] = {// MPEG-2
             One("MPEG2VIDEO"), {S1, "Original Video Size"}, {B1, "2000 Kbps"},
             {F1, "25.0 fps"},  {{"mp2", "ac3"}, "mp2"},     {A1, "192 Kbps"},
             {R1, "44100 Hz"}};
    p[30] = {// RM
             {{"RV10", "RV20"}, "RV10"},
             {S1, "Original Video Size"},
             {{"384  Kbps", "400  Kbps", "600  Kbps", "1200 Kbps", "1800 Kbps", "2200 Kbps", "2600 Kbps",
               "3000 Kbps"},
              "1800 Kbps"},
             {F1, "Auto"},
             One("ac3"),
             {A1, "128 Kbps"},
             {R1Wide, "48000 Hz"}};
    p[31] = {// WMV
             One("WMV2"),       {S1, "Original Video Size"},
             {B1, "6000 Kbps"}, {F1, "Auto"},
             One("wmav2"),      {A1, "128 Kbps"},
             {R1, "48000 Hz"}};

    // Audio only: no video codec and no size make the task drop the video.
    auto audioOnly = [](const QString& ACodec, const QString& ABitrate, const QStringList& ARates,
                        const QString& ARate) {
        return TProfile{Empty, Empty, Empty, Empty, One(ACodec), {A1, ABitrate}, {ARates, ARate}};
    };
    p[37] = audioOnly("aac", "128 Kbps", R1, "48000 Hz");           // AAC
    p[39] = audioOnly("pcm_s16be", "128 Kbps", R1, "48000 Hz");     // AU
    p[40] = audioOnly("mpeg4aac", "128 Kbps", R1, "48000 Hz");      // M4A
    p[46] = audioOnly("mp2", "224 Kbps", R1, "48000 Hz");           // MP2
    p[41] = audioOnly("mp3", "192 Kbps", R1, "48000 Hz");           // MP3
    p[42] = audioOnly("vorbis", "160 Kbps", R1, "48000 Hz");        // OGG
    p[43] = audioOnly("ac3", "128 Kbps", R1Wide, "48000 Hz");       // RA
    p[44] = audioOnly("pcm_s16le", "128 Kbps", R1Wide, "44100 Hz"); // WAV
    p[45] = audioOnly("wmav2", "128 Kbps", R1Wide, "48000 Hz");     // WMA

    p[2] = {// iPad
            {{"mpeg4", "h264"}, "mpeg4"},
            {{"480 x 320", "640 x 480", "640 x 360", "720 x 404"}, "640 x 480"},
            {B4, "2500 Kbps"},
            {F1, "29.97 fps"},
            One("mpeg4aac"),
            {A1, "128 Kbps"},
            {R1, "44100 Hz"}};
    const TProfile ipod = {{{"MPEG4", "H264"}, "MPEG4"},
                           {{"320 x 240", "640 x 480", "720 x 406"}, "320 x 240"},
                           {B4, "2500 Kbps"},
                           {F1, "29.97 fps"},
                           {{"mpeg4aac", "ac3"}, "mpeg4aac"},
                           {A1, "128 Kbps"},
                           {R1, "44100 Hz"}};
    p[3] = ipod; // iPod
    TProfile ipodTouch = ipod;
    ipodTouch.VideoSize.Default = "640 x 480";
    p[13] = ipodTouch; // iPod Touch
    TProfile iphone = ipod;
    iphone.VideoSize = {{"320 x 240", "480 x 320", "640 x 480", "720 x 480"}, "640 x 480"};
    p[18] = iphone; // iPhone

    const TProfileList mp3mp2 = {{"mp3", "mp2"}, "mp3"};
    p[63] = {// Archos AV500/GMini402
             One("MPEG4"), {S3, "480 x 272"}, {B3, "1200 Kbps"}, {F1, "Auto"},
             mp3mp2,       {A1, "128 Kbps"},  {R1, "48000 Hz"}};
    p[64] = {// Archos AV700
             One("MPEG4"),
             {S3, "720 x 480"},
             {{"1000 Kbps", "1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps"}, "2000 Kbps"},
             {F1, "Auto"},
             mp3mp2,
             {A1, "128 Kbps"},
             {R1, "48000 Hz"}};
    const TProfile zen = {One("MPEG4"), {S3, "640 x 480"}, {B3, "1200 Kbps"}, {F1, "Auto"},
                          mp3mp2,       {A1, "128 Kbps"},  {R1, "48000 Hz"}};
    p[65] = zen; // Creative Zen Vision
    p[66] = zen; // iRiver PMP100

    const TProfile blackBerry = {
        One("MPEG4"),
        {{"176 x 144", "240 x 180", "320 x 240"}, "320 x 240"},
        {{"80 Kbps", "120 Kbps", "200 Kbps", "256 Kbps", "300 Kbps", "512 Kbps"}, "300 Kbps"},
        {{"11 fps", "15 fps", "20 fps", "24 fps", "25 fps"}, "24 fps"},
        One("mpeg4aac"),
        {{"40 Kbps", "48 Kbps", "64 Kbps", "80 Kbps", "96 Kbps", "112 Kbps"}, "80 Kbps"},
        {R1, "44100 Hz"}};
    p[67] = blackBerry; // BlackBerry MPEG-4
    TProfile blackBerryAvi = blackBerry;
    blackBerryAvi.VideoCodec = One("H263");
    blackBerryAvi.VideoSize = One("176 x 144");
    blackBerryAvi.AudioCodec = {{"mp3", "pcm_s16le"}, "mp3"};
    p[68] = blackBerryAvi; // BlackBerry AVI
    p[69] = {              // BlackBerry 3GP
             {{"MPEG4", "H263"}, "MPEG4"},
             {{"176 x 144", "240 x 180", "320 x 240"}, "176 x 144"},
             {{"48 Kbps", "64 Kbps", "96 Kbps", "120 Kbps", "128 Kbps", "256 Kbps", "512 Kbps"}, "120 Kbps"},
             {{"Auto", "11 fps", "15 fps", "20 fps", "24 fps", "25 fps"}, "15 fps"},
             {{"amr_nb", "mpeg4aac"}, "amr_nb"},
             {A3, "4750 bps"},
             {{"8000  Hz", "16000 Hz"}, "8000  Hz"}};

    p[53] = {// PSP
             {{"MPEG4", "H264", "XVID"}, "MPEG4"},
             {{"160 x 112", "320 x 240", "368 x 208", "480 x 272"}, "368 x 208"},
             One("768 Kbps"),
             {{"14.985 fps", "29.97 fps"}, "29.97 fps"},
             One("mpeg4aac"),
             {{"32 Kbps", "48 Kbps", "64 Kbps", "96 Kbps", "128 Kbps", "160 Kbps"}, "128 Kbps"},
             One("24000 Hz")};
    p[58] = {// PS3
             One("H264"),
             {{"640 x 480", "720 x 480", "720 x 576"}, "720 x 480"},
             {{"1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps", "3000 Kbps"}, "2500 Kbps"},
             One("29.97 fps"),
             One("mpeg4aac"),
             {A1, "128 Kbps"},
             {R1Wide, "44100 Hz"}};

    const TProfileList zuneSizes = {{"320 x 240 ", "640 x 480"}, "320 x 240 "};
    const QStringList zuneBitrates = {"256 Kbps",  "512 Kbps",  "768 Kbps",
                                      "1200 Kbps", "1500 Kbps", "2000 Kbps"};
    p[49] = {// Zune Mpeg4
             {{"MPEG4", "H264"}, "MPEG4"},
             zuneSizes,
             {zuneBitrates, "1500 Kbps"},
             One("29.97 fps"),
             One("mpeg4aac"),
             {A1, "128 Kbps"},
             {R1Wide, "44100 Hz"}};
    p[50] = {// Zune WMV
             One("WMV2"),  zuneSizes,        {zuneBitrates, "1200 Kbps"}, {F1, "Auto"},
             One("wmav2"), {A1, "128 Kbps"}, {R1Wide, "48000 Hz"}};
    return p;
}

} // namespace

const TProfile* FindProfile(int ANumber) {
    static const std::map<int, TProfile> profiles = BuildProfiles();
    const auto it = profiles.find(ANumber);
    return it == profiles.end() ? nullptr : &it->second;
}

} // namespace vx
