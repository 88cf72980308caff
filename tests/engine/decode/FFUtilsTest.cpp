#include <cstdlib>
#include <ctime>
#include <optional>

#include <gtest/gtest.h>

#include "MediaFixtures.h"
#include "base/FFLoad.h"
#include "base/LocalTime.h"
#include "decode/FFUtils.h"

using namespace vx;
using namespace vx::fixtures;

namespace {

class FFUtilsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().Load(DecoderLibraries)) << FFLoader().LastErrMsg();
    }
};

TEST(TextHelpers, TimeText) {
    const struct {
        int64_t Microseconds;
        const char* Text;
    } cases[] = {
        {3723004000, "01:02:03.004"}, {int64_t(100) * 3600 * 1000000, "100:00:00.000"},
        {AV_NOPTS_VALUE, "N/A"},      {0, "00:00:00.000"},
        {999999, "00:00:00.999"},     {59999999, "00:00:59.999"},
        {-1500000, "-00:00:01.500"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TimeText(c.Microseconds), c.Text) << c.Microseconds;
}

TEST(TextHelpers, SizeTextSwitchesUnitOnlyAboveEachUnit) {
    const struct {
        int64_t Bytes;
        const char* Text;
    } cases[] = {
        {1024, "1024 Byte"},
        {1025, "1.00 KB"},
        {1048576, "1024.00 KB"},
        {1048577, "1.00 MB"},
        {1073741824, "1024.00 MB"},
        {1073741825, "1.00 GB"},
        {int64_t(5) << 30, "5.00 GB"},
        {0, "0 Byte"},
        {-1, "-1 Byte"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SizeText(c.Bytes), c.Text) << c.Bytes;
}

TEST(TextHelpers, RateTextDropsFractionsAndThousands) {
    const struct {
        double Value;
        const char* Suffix;
        const char* Text;
    } cases[] = {
        {25, "fps", ", 25 fps"},
        {30000.0 / 1001, "fps", ", 29.97 fps"},
        {12.5, "tbr", ", 12.50 tbr"},
        {90000, "tbn", ", 90k tbn"},
        {1000, "tbn", ", 1k tbn"},
        {1200, "tbn", ", 1200 tbn"},
        {24000.0 / 1001, "fps", ", 23.98 fps"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RateText(c.Value, c.Suffix), c.Text) << c.Value;
}

TEST(TextHelpers, SplitFirst) {
    const struct {
        const char* Text;
        const char* Delimiter;
        bool Remove;
        const char* Head;
        const char* Rest;
    } cases[] = {
        {"a=b=c", "=", true, "a", "b=c"},
        {"a=b=c", "=", false, "a", "a=b=c"},
        {"abc", "=", true, "abc", ""},
        {"abc", "=", false, "abc", "abc"},
        {"x=1<CRLF>y=2", "<CRLF>", true, "x=1", "y=2"},
        {"=v", "=", true, "", "v"},
        {"", "=", true, "", ""},
    };
    for (const auto& c : cases) {
        std::string text = c.Text;
        EXPECT_EQ(SplitFirst(text, c.Delimiter, c.Remove), c.Head) << c.Text;
        EXPECT_EQ(text, c.Rest) << c.Text;
    }
}

TEST(TextHelpers, MediaAndPictureTypeNames) {
    const char* media[] = {"Video", "Audio", "Data", "Subtitle", "Attachment"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(MediaTypeName(i), media[i]);
    EXPECT_EQ(MediaTypeName(-1), "Unknown");
    EXPECT_EQ(MediaTypeName(5), "Unknown");

    const char* pictures[] = {
        "Intra",           "Predicted",           "Bi-dir predicted", "S(GMC)-VOP MPEG4",
        "Switching Intra", "Switching Predicted", "BI type"};
    for (int i = 1; i <= 7; ++i)
        EXPECT_EQ(PictureTypeName(i), pictures[i - 1]);
    EXPECT_EQ(PictureTypeName(0), "Unknown");
    EXPECT_EQ(PictureTypeName(8), "Unknown");
}

TEST(TextHelpers, FrameDurationFallsBackToPal) {
    EXPECT_EQ(FrameDuration({25, 1}), 40000);
    EXPECT_EQ(FrameDuration({30000, 1001}), 33366);
    EXPECT_EQ(FrameDuration({0, 1}), 40000);
    EXPECT_EQ(FrameDuration({25, 0}), 40000);
}

TEST_F(FFUtilsTest, ErrorTextOfTableCodes) {
    const struct {
        int Code;
        const char* Message;
    } cases[] = {
        {AVERROR(ENOENT), "No such file or directory"},
        {-5, "I/O error"},
        {-13, "Permission denied"},
        {-28, "No space left on device"},
        {-110, "Connection timed out"},
        {-116, "Stale NFS file handle"},
        {-125, "Operation Canceled"},
        {-131, "State not recoverable"},
        {-11, "Resource temporarily unavailable / Try again"},
        {-12, "Not enough space / Out of memory"},
        {-22, "Invalid argument / Invalid data found when processing input"},
        {-23, "Too many open files in system / File table overflow"},
        {-25, "Inappropriate I/O control operation / Not a typewriter"},
        {AVERROR_MUXER_NOT_FOUND, "Muxer not found"},
        {AVERROR_OPTION_NOT_FOUND, "Option not found"},
        {AVERROR_EXIT, "Immediate exit requested"},
        {AVERROR_STREAM_NOT_FOUND, "Stream not found"},
        {AVERROR_PROTOCOL_NOT_FOUND, "Protocol not found"},
        {AVERROR_DEMUXER_NOT_FOUND, "Demuxer not found"},
        {AVERROR_FILTER_NOT_FOUND, "Filter not found"},
        {AVERROR_BSF_NOT_FOUND, "Bitstream filter not found"},
        {AVERROR_PATCHWELCOME, "Not yet implemented in FFmpeg, patches welcome"},
        {AVERROR_ENCODER_NOT_FOUND, "Encoder not found"},
        {AVERROR_DECODER_NOT_FOUND, "Decoder not found"},
        {AVERROR_INVALIDDATA, "Invalid data found when processing input"},
        {AVERROR_EOF, "End of file"},
        {-10061, "Connection refused"},
        {-111, "Connection refused"},
        {-10004, "Interrupted system call"},
        {-10035, "WSAEWOULDBLOCK"},
        {-10067, "WSAEPROCLIM"},
        {-10091, "WSASYSNOTREADY"},
        {-10112, "WSAEREFUSED"},
        {-11001, "WSAHOST_NOT_FOUND"},
        {-11004, "WSANO_DATA"},
        // Outside every table.
        {-41, "Error number -41 occurred"},
        {-42, "Error number -42 occurred"},
        {-58, "Error number -58 occurred"},
        {-132, "Error number -132 occurred"},
        {-10000, "Error number -10000 occurred"},
        {-10113, "Error number -10113 occurred"},
        {12345, "Error number 12345 occurred"},
        {0, "Error number 0 occurred"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorText("/media/clip.avi", c.Code), std::string("/media/clip.avi: ") + c.Message)
            << c.Code;
}

TEST_F(FFUtilsTest, ErrorTextCoversEverySystemAndSocketCode) {
    int systemCodes = 0;
    for (int n = 1; n <= 131; ++n) {
        const bool listed = n != 41 && n != 42 && n != 58;
        const std::string message = ErrorMessage(-n);
        EXPECT_EQ(message.rfind("Error number", 0) != 0, listed) << n << " " << message;
        systemCodes += listed;
    }
    EXPECT_EQ(systemCodes, 128);
    // Socket errors with a system counterpart read like it.
    const struct {
        int Socket, System;
    } pairs[] = {{10036, 115}, {10037, 114}, {10038, 88}, {10048, 98},  {10054, 104}, {10060, 110},
                 {10062, 40},  {10066, 39},  {10068, 87}, {10070, 116}, {10071, 66}};
    for (const auto& p : pairs)
        EXPECT_EQ(ErrorMessage(-p.Socket), ErrorMessage(-p.System)) << p.Socket;
    for (int code = 10036; code <= 10071; ++code) {
        if (code != 10067) {
            EXPECT_NE(ErrorMessage(-code).rfind("Error number", 0), 0u) << code;
        }
    }
}

TEST_F(FFUtilsTest, ErrorTextOfNewerLibraryCodesUsesTheLibrarysWording) {
    EXPECT_EQ(ErrorMessage(AVERROR_HTTP_NOT_FOUND), "Server returned 404 Not Found");
    EXPECT_EQ(ErrorMessage(AVERROR_BUG), "Internal bug, should not have happened");
    EXPECT_EQ(ErrorMessage(-0x7FFFFF00), "Error number -2147483392 occurred");
}

TEST_F(FFUtilsTest, CodecDescription) {
    EXPECT_EQ(CodecDescription(AV_CODEC_ID_H264, 0, false),
              "h264(H.264 / AVC / MPEG-4 AVC / MPEG-4 part 10)");
    // The encoder side names the encoder, not the decoder.
    EXPECT_EQ(CodecDescription(AV_CODEC_ID_MP3, 0, true).rfind("libmp3lame(", 0), 0u);
    EXPECT_EQ(CodecDescription(AV_CODEC_ID_MP3, 0, false).rfind("mp3", 0), 0u);
    EXPECT_EQ(CodecDescription(AV_CODEC_ID_MPEG2TS, 0, false), "mpeg2ts");
    // Unknown to the library: the tag, as text when it is printable.
    EXPECT_EQ(CodecDescription(AV_CODEC_ID_NONE, MKTAG('A', 'B', 'C', 'D'), false), "ABCD / 0x44434241");
    EXPECT_EQ(CodecDescription(AV_CODEC_ID_NONE, MKTAG('x', '1', 0x7F, 'z'), false), "0x7a7f3178");
    EXPECT_EQ(CodecDescription(AV_CODEC_ID_NONE, 0x12, false), "0x0012");
    // Known by name but without a decoder in this build.
    EXPECT_EQ(CodecDescription(AV_CODEC_ID_DVD_NAV, 0, false), "dvd_nav_packet");
}

TEST_F(FFUtilsTest, MetadataBlockSkipsALanguageOfItsOwn) {
    AVDictionary* dict = nullptr;
    EXPECT_EQ(MetadataBlock(dict, ""), "");
    ff::av_dict_set(&dict, "language", "eng", 0);
    EXPECT_EQ(MetadataBlock(dict, "  "), "");
    ff::av_dict_set(&dict, "TIT2", "Song", 0);
    ff::av_dict_set(&dict, "Author", "Someone", 0);
    ff::av_dict_set(&dict, "tit2", "lower case keys are not container keys", AV_DICT_MATCH_CASE);
    ff::av_dict_set(&dict, "custom_key_longer_than_16", "v", 0);
    EXPECT_EQ(MetadataBlock(dict, "  "), "  Metadata:\n"
                                         "    title           : Song\n"
                                         "    artist          : Someone\n"
                                         "    tit2            : lower case keys are not container keys\n"
                                         "    custom_key_longer_than_16: v\n");
    EXPECT_EQ(MetadataValue(dict, "LANGUAGE"), "eng");
    EXPECT_EQ(MetadataValue(dict, "lang", "none"), "none");
    ff::av_dict_free(&dict);
}

TEST(TextHelpers, MetadataDisplayNames) {
    const char* pairs[][2] = {{"LEAD_PERFORMER", "performer"},
                              {"WM/AlbumTitle", "album"},
                              {"IART", "artist"},
                              {"strn", "title"},
                              {"TDEN", "creation_time"},
                              {"TRK", "track"},
                              {"TSOA", "album-sort"},
                              {"title", "title"},
                              {"Trk", "Trk"}};
    for (const auto& p : pairs)
        EXPECT_EQ(MetadataDisplayName(p[0]), p[1]) << p[0];
}

// Sets TZ for one test and restores it afterwards.
class TTimeZone {
public:
    explicit TTimeZone(const char* AZone) {
        if (const char* old = std::getenv("TZ"))
            FOld = old;
        setenv("TZ", AZone, 1);
        tzset();
    }
    ~TTimeZone() {
        if (FOld)
            setenv("TZ", FOld->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> FOld;
};

TEST(DateTime, UnixTimeInUtc) {
    TTimeZone zone("UTC");
    EXPECT_DOUBLE_EQ(UnixToLocalDateTime(0), 25569.0);
    EXPECT_DOUBLE_EQ(UnixToLocalDateTime(86400 + 43200), 25570.5);
    EXPECT_EQ(DateTimeText(UnixToLocalDateTime(86400 + 43200)), "1970-01-02 12:00:00");
    EXPECT_EQ(LocalDateTimeToUnix(25570.5), 86400 + 43200);
}

TEST(DateTime, LocalTimeFollowsSummerTime) {
    TTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const int64_t winter = 1579089600; // 2020-01-15 12:00:00 UTC
    const int64_t summer = 1594814400; // 2020-07-15 12:00:00 UTC
    EXPECT_EQ(DateTimeText(UnixToLocalDateTime(winter)), "2020-01-15 13:00:00");
    EXPECT_EQ(DateTimeText(UnixToLocalDateTime(summer)), "2020-07-15 14:00:00");
    EXPECT_EQ(LocalDateTimeToUnix(UnixToLocalDateTime(winter)), winter);
    EXPECT_EQ(LocalDateTimeToUnix(UnixToLocalDateTime(summer)), summer);
}

TEST(Files, ReadWholeFileAddsATerminator) {
    TTempDir dir;
    std::vector<char> buffer;
    WriteTextFile(dir.File("preset.txt"), "vcodec=mpeg4\nb=800k");
    ASSERT_EQ(ReadWholeFile(dir.File("preset.txt"), buffer), 20);
    EXPECT_EQ(std::string(buffer.data()), "vcodec=mpeg4\nb=800k");
    EXPECT_EQ(buffer.back(), '\0');

    WriteTextFile(dir.File("empty.txt"), "");
    EXPECT_EQ(ReadWholeFile(dir.File("empty.txt"), buffer), 1);
    EXPECT_EQ(buffer.size(), 1u);
    EXPECT_EQ(ReadWholeFile(dir.File("missing.txt"), buffer), -1);
    EXPECT_EQ(ReadWholeFile(dir.Path(), buffer), -1);
}

TEST(Files, FileSizeOf) {
    TTempDir dir;
    WriteTextFile(dir.File("five.bin"), "12345");
    EXPECT_EQ(FileSizeOf(dir.File("five.bin")), 5);
    EXPECT_EQ(FileSizeOf(dir.File("missing.bin")), -1);
    EXPECT_EQ(FileSizeOf(dir.Path()), -1);
}

} // namespace
