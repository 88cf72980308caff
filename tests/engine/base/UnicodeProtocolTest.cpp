#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "MediaFixtures.h"
#include "base/FFApi.h"
#include "base/FFLoad.h"
#include "base/FormatIO.h"
#include "base/UnicodeProtocol.h"

using namespace vx;

namespace {

class UnicodeProtocolTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
    }
    fixtures::TTempDir Dir;
};

TEST(FileNameTest, RoundTripsThroughUTF8) {
    const TFileName names[] = {u"plain.avi", u"Привет мир.avi", u"中文字幕 テスト.mp4",
                               u"emoji \U0001F3AC.mkv", u""};
    for (const TFileName& name : names)
        EXPECT_EQ(UTF8ToFileName(FileNameToUTF8(name)), name);
    EXPECT_EQ(FileNameToUTF8(u"Я"), "\xD0\xAF");
    EXPECT_EQ(FileNameToUTF8(u"中"), "\xE4\xB8\xAD");
}

TEST(FileNameTest, NamesThatAreNotUTF8KeepTheirBytes) {
    // Linux names are bytes: each byte outside valid UTF-8 travels as U+DC00 + byte and comes
    // back as itself, whatever sequence it was part of.
    struct TCase {
        const char* Bytes;
        std::u16string Text;
    };
    for (const TCase& c : {TCase{"\xFF", u"\xDCFF"}, TCase{"abc\xC3", u"abc\xDCC3"},
                           TCase{"\xC0\xAF", u"\xDCC0\xDCAF"}, TCase{"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
                           TCase{"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
                           TCase{"caf\xE9 \xD0\xAF.avi", u"caf\xDCE9 Я.avi"}}) {
        EXPECT_EQ(UTF8ToFileName(c.Bytes), c.Text) << c.Bytes;
        EXPECT_EQ(FileNameToUTF8(c.Text), c.Bytes) << c.Bytes;
    }
    // Other unpaired surrogates name no byte.
    EXPECT_EQ(FileNameToUTF8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD") << "lone high surrogate";
    EXPECT_EQ(FileNameToUTF8(std::u16string(1, char16_t(0xDC20))), "\xEF\xBF\xBD") << "not a byte's stand-in";
}

TEST(FileNameTest, UnicodeURLs) {
    EXPECT_TRUE(IsUnicodeURL("unicode:/tmp/a.avi"));
    EXPECT_FALSE(IsUnicodeURL("/tmp/unicode:a.avi"));
    EXPECT_EQ(UnicodeURLPath("unicode:/tmp/a:b.avi"), "/tmp/a:b.avi");
    EXPECT_EQ(UnicodeURLPath(""), "");
    // The local path behind any URL the engine opens: only the two local schemes are removed.
    EXPECT_EQ(LocalPath("unicode:/tmp/a.avi"), "/tmp/a.avi");
    EXPECT_EQ(LocalPath("file:/tmp/a:b.avi"), "/tmp/a:b.avi");
    EXPECT_EQ(LocalPath("/tmp/file:b.avi"), "/tmp/file:b.avi");
    EXPECT_EQ(LocalPath("http://host/a.avi"), "http://host/a.avi");
}

TEST_F(UnicodeProtocolTest, ReadWriteSeekAndSize) {
    const std::string url = "unicode:" + Dir.File("Файл 文件.bin");
    AVIOContext* pb = nullptr;
    ASSERT_EQ(UnicodeOpen(url, AVIO_FLAG_WRITE, &pb), 0);
    uint8_t hello[] = "hello world";
    EXPECT_EQ(pb->write_packet(pb->opaque, hello, 11), 11);
    EXPECT_EQ(pb->seek(pb->opaque, 0, AVSEEK_SIZE), 11);
    EXPECT_EQ(UnicodeClose(&pb), 0);
    EXPECT_EQ(pb, nullptr);

    ASSERT_EQ(UnicodeOpen(url, AVIO_FLAG_READ, &pb), 0);
    uint8_t buffer[16] = {};
    EXPECT_EQ(pb->seek(pb->opaque, 6, SEEK_SET), 6);
    EXPECT_EQ(pb->read_packet(pb->opaque, buffer, sizeof buffer), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 5), "world");
    EXPECT_EQ(pb->read_packet(pb->opaque, buffer, sizeof buffer), AVERROR_EOF);
    EXPECT_EQ(pb->seek(pb->opaque, -5, SEEK_END), 6);
    EXPECT_EQ(UnicodeClose(&pb), 0);
    EXPECT_EQ(fixtures::FileSize(UnicodeURLPath(url)), 11) << "reading leaves the file as it was";

    ASSERT_EQ(UnicodeOpen(url, AVIO_FLAG_WRITE, &pb), 0);
    EXPECT_EQ(UnicodeClose(&pb), 0);
    EXPECT_EQ(fixtures::FileSize(UnicodeURLPath(url)), 0) << "opening for writing empties the file";
}

TEST_F(UnicodeProtocolTest, SizeQueryOfAFileBeyond4GiB) {
    const std::string path = Dir.File("sparse.bin");
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 5LL << 30), 0);
    ::close(fd);
    AVIOContext* pb = nullptr;
    ASSERT_EQ(UnicodeOpen("unicode:" + path, AVIO_FLAG_READ, &pb), 0);
    EXPECT_EQ(pb->seek(pb->opaque, 0, AVSEEK_SIZE), 5LL << 30);
    UnicodeClose(&pb);
}

TEST_F(UnicodeProtocolTest, MissingFileGivesMinusTwoAndAFailedInput) {
    AVIOContext* pb = nullptr;
    EXPECT_EQ(UnicodeOpen("unicode:" + Dir.File("missing.avi"), AVIO_FLAG_READ, &pb), -2);
    EXPECT_EQ(pb, nullptr);
    AVFormatContext* ctx = nullptr;
    EXPECT_EQ(OpenInputFile(&ctx, "unicode:" + Dir.File("missing.avi"), nullptr, nullptr), AVERROR(ENOENT));
    EXPECT_EQ(ctx, nullptr);
    EXPECT_LT(UnicodeOpen("unicode:" + Dir.Path() + "/no/such/dir/x.avi", AVIO_FLAG_WRITE, &pb), 0);
}

TEST_F(UnicodeProtocolTest, FifoIsRefusedInsteadOfBlocking) {
    const std::string path = Dir.File("pipe.avi");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    for (const std::string& url : {path, "unicode:" + path, "file:" + path}) {
        AVFormatContext* ctx = nullptr;
        EXPECT_EQ(OpenInputFile(&ctx, url, nullptr, nullptr), AVERROR(EINVAL)) << url;
        EXPECT_EQ(ctx, nullptr);
    }
}

TEST_F(UnicodeProtocolTest, MediaWithCyrillicAndCJKNamesRoundTrips) {
    // Written through the engine's own I/O (the AVI muxer seeks back to patch its
    // header), then opened both ways.
    const TFileName name = u"Видео 视频.avi";
    const std::string path = Dir.Path() + "/" + FileNameToUTF8(name);
    fixtures::WriteMedia("unicode:" + path, fixtures::AviMpeg4Mp3());
    for (const std::string& url : {path, "unicode:" + path}) {
        AVFormatContext* raw = nullptr;
        ASSERT_EQ(OpenInputFile(&raw, url, nullptr, nullptr), 0) << url;
        TInputFilePtr input(raw);
        ASSERT_GE(ff::avformat_find_stream_info(raw, nullptr), 0);
        EXPECT_STREQ(raw->iformat->name, "avi");
        EXPECT_EQ(raw->nb_streams, 2u);
        EXPECT_EQ(UTF8ToFileName(UnicodeURLPath(raw->url)), UTF8ToFileName(path));
    }
}

} // namespace
