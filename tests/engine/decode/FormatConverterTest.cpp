// Pictures into bitmaps and back: which pictures are used as they are, the bitmap's rows
// and pixel layouts at every depth, the round trip, and the failures.
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "base/FFApi.h"
#include "base/FFLoad.h"
#include "decode/FormatConverter.h"

using namespace vx;

namespace {

// A picture whose planes live in vectors; each plane has the same size (4:4:4 or packed).
struct TTestPicture {
    TTestPicture(int AWidth, int AHeight, int APlanes, int ALinesize) : Width(AWidth), Height(AHeight) {
        Planes.resize(APlanes);
        for (int i = 0; i < APlanes; ++i) {
            Planes[i].assign(size_t(ALinesize) * AHeight, 0);
            Picture.Data[i] = Planes[i].data();
            Picture.Linesize[i] = ALinesize;
        }
    }
    uint8_t* At(int APlane, int AX, int AY, int ABytes = 1) {
        return Planes[APlane].data() + size_t(AY) * Picture.Linesize[APlane] + size_t(AX) * ABytes;
    }
    int Width, Height;
    std::vector<std::vector<uint8_t>> Planes;
    TPicture Picture;
};

// BGR24 with a colour that differs from one pixel to the next.
TTestPicture Bgr24(int AWidth, int AHeight, int ALinesize) {
    TTestPicture p(AWidth, AHeight, 1, ALinesize);
    for (int y = 0; y < AHeight; ++y)
        for (int x = 0; x < AWidth; ++x) {
            uint8_t* px = p.At(0, x, y, 3);
            px[0] = uint8_t(x * 7 + y);
            px[1] = uint8_t(y * 3);
            px[2] = uint8_t(x + y * 5);
        }
    return p;
}

class FormatConverterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(FFLoader().Load(DecoderLibraries)) << FFLoader().LastErrMsg();
    }
};

TEST_F(FormatConverterTest, AnRGBPictureLaidOutAsTheBitmapIsUsedAsItIs) {
    TTestPicture source = Bgr24(320, 240, DIBLineSize(320, 24));
    TFormatConverter converter;
    ASSERT_TRUE(converter.PictureToRGB(source.Picture, AV_PIX_FMT_BGR24, true, 240, 320));
    EXPECT_NE(converter.RGBPictureRef(), converter.RGBPicture());
    EXPECT_EQ(converter.RGBPictureRef()->Data[0], source.Picture.Data[0]);
    EXPECT_EQ(converter.DIB()->Bits, source.Picture.Data[0]);
    EXPECT_EQ(converter.DIB()->BytesPerLine, 960);
    // The bitmap shows the picture the right way up.
    const TBitmap& bitmap = converter.Bitmap();
    for (const auto& [x, y] : {std::pair{0, 0}, {319, 0}, {5, 17}, {319, 239}}) {
        const uint8_t* px = source.At(0, x, y, 3);
        EXPECT_EQ(bitmap.Pixel(x, y), (TRGBColor{px[2], px[1], px[0]})) << x << "," << y;
    }
    // An edit of the bitmap goes straight back into the caller's picture.
    converter.Bitmap().SetPixel(3, 4, {1, 2, 3});
    converter.BitmapToRGB();
    EXPECT_EQ(source.At(0, 3, 4, 3)[0], 3);
    EXPECT_EQ(source.At(0, 3, 4, 3)[2], 1);
}

TEST_F(FormatConverterTest, AnyOtherPictureIsConverted) {
    const struct {
        const char* What;
        int Width, Height, Linesize;
        AVPixelFormat Format;
    } cases[] = {
        {"odd width, even with matching rows", 321, 240, DIBLineSize(321, 24), AV_PIX_FMT_BGR24},
        {"odd height", 320, 241, 960, AV_PIX_FMT_BGR24},
        {"rows longer than the bitmap's", 320, 240, 1024, AV_PIX_FMT_BGR24},
        {"another format", 320, 240, 960, AV_PIX_FMT_RGB24},
    };
    for (const auto& c : cases) {
        TTestPicture source = Bgr24(c.Width, c.Height, c.Linesize);
        TFormatConverter converter;
        ASSERT_TRUE(converter.PictureToRGB(source.Picture, c.Format, true, c.Height, c.Width)) << c.What;
        EXPECT_EQ(converter.RGBPictureRef(), converter.RGBPicture()) << c.What;
        EXPECT_NE(converter.DIB()->Bits, source.Picture.Data[0]) << c.What;
        EXPECT_EQ(converter.DIB()->BytesPerLine, DIBLineSize(c.Width, 24)) << c.What;
        const uint8_t* px = source.At(0, c.Width - 1, c.Height - 1, 3);
        const TRGBColor last =
            c.Format == AV_PIX_FMT_BGR24 ? TRGBColor{px[2], px[1], px[0]} : TRGBColor{px[0], px[1], px[2]};
        EXPECT_EQ(converter.Bitmap().Pixel(c.Width - 1, c.Height - 1), last) << c.What;
    }
}

TEST_F(FormatConverterTest, EveryDepthGivesPaddedRowsAndItsPixelLayout) {
    const struct {
        int Bits;
        TBMPPixelFormat Format;
        int BitsPixel;
        int Tolerance; // what the fewest bits of a colour field can keep
    } cases[] = {
        {8, pf8bit, 8, 64},   {15, pf15bit, 16, 8}, {16, pf16bit, 16, 8},
        {24, pf24bit, 24, 0}, {32, pf32bit, 32, 0},
    };
    const TRGBColor colour{200, 100, 50};
    TTestPicture source(321, 3, 1, DIBLineSize(321, 24));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 321; ++x) {
            uint8_t* px = source.At(0, x, y, 3);
            px[0] = colour.B, px[1] = colour.G, px[2] = colour.R;
        }
    for (const auto& c : cases) {
        TFormatConverter converter;
        converter.SetBitsPixel(c.Bits);
        EXPECT_EQ(converter.BMPPixFmt(), c.Format) << c.Bits;
        EXPECT_EQ(converter.BitsPixel(), c.BitsPixel) << c.Bits;
        ASSERT_TRUE(converter.PictureToRGB(source.Picture, AV_PIX_FMT_BGR24, true, 3, 321)) << c.Bits;
        EXPECT_EQ(converter.DIB()->BytesPerLine, DIBLineSize(321, c.BitsPixel)) << c.Bits;
        EXPECT_EQ(converter.DIB()->BytesPerLine % 4, 0) << c.Bits;
        EXPECT_EQ(converter.Bitmap().LineSize(), converter.DIB()->BytesPerLine) << c.Bits;
        const TRGBColor got = converter.Bitmap().Pixel(320, 2);
        EXPECT_NEAR(got.R, colour.R, c.Tolerance) << c.Bits;
        EXPECT_NEAR(got.G, colour.G, c.Tolerance) << c.Bits;
        EXPECT_NEAR(got.B, colour.B, c.Tolerance) << c.Bits;
    }
    // 15 and 16 bits share a bit count but not a layout.
    TFormatConverter converter;
    converter.SetBitsPixel(15);
    converter.SetBitsPixel(16);
    EXPECT_EQ(converter.BMPPixFmt(), pf16bit);
    EXPECT_EQ(converter.AVPixFmt(), AV_PIX_FMT_BGR565LE);
}

TEST_F(FormatConverterTest, APictureComesBackWithinTwoPerSample) {
    // A smooth picture of colours that RGB can hold, in the encoders' usual 4:2:0.
    const int w = 322, h = 242;
    TTestPicture source(w, h, 3, w);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            *source.At(0, x, y) = uint8_t(60 + (x + y) * 120 / (w + h));
            *source.At(1, x / 2, y / 2) = uint8_t(118 + x * 20 / w);
            *source.At(2, x / 2, y / 2) = uint8_t(138 - y * 20 / h);
        }
    for (int bits : {24, 32}) {
        TFormatConverter converter;
        converter.SetBitsPixel(bits);
        ASSERT_TRUE(converter.PictureToRGB(source.Picture, AV_PIX_FMT_YUV420P, true, h, w));
        converter.BitmapToRGB();
        TTestPicture back(w, h, 3, w);
        ASSERT_TRUE(converter.RGBToPicture(back.Picture, AV_PIX_FMT_YUV420P, h, w)) << converter.LastErrMsg();
        int worst = 0;
        for (int plane = 0; plane < 3; ++plane) {
            const int pw = plane ? w / 2 : w, ph = plane ? h / 2 : h;
            for (int y = 0; y < ph; ++y)
                for (int x = 0; x < pw; ++x)
                    worst = std::max(worst, std::abs(*source.At(plane, x, y) - *back.At(plane, x, y)));
        }
        EXPECT_LE(worst, 2) << bits;
    }
}

TEST_F(FormatConverterTest, FailuresSayWhatWentWrong) {
    TFormatConverter converter;
    converter.SetBitsPixel(32);
    try {
        converter.SetBitsPixel(12);
        ADD_FAILURE() << "12 bits accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Invalid BitsPixel 12");
    }
    EXPECT_EQ(converter.BitsPixel(), 32);
    try {
        converter.SetBMPPixFmt(pf4bit);
        ADD_FAILURE() << "4-bit accepted";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Invalid PixelFormat 2");
    }
    EXPECT_EQ(converter.BMPPixFmt(), pf32bit);

    EXPECT_THROW(converter.RGBToBitmap(), std::logic_error);
    EXPECT_THROW(converter.BitmapToRGB(), std::logic_error);

    // A format the scaler does not take, and a number that is no format at all.
    TTestPicture source = Bgr24(64, 48, 192);
    for (int format : {int(AV_PIX_FMT_VAAPI), AV_PIX_FMT_NB + 5}) {
        EXPECT_FALSE(converter.PictureToRGB(source.Picture, format, true, 48, 64));
        EXPECT_EQ(converter.LastErrMsg(), "Cannot initialize the toRGB conversion context");
        EXPECT_EQ(converter.RGBPictureRef(), nullptr);

        ASSERT_TRUE(converter.PictureToRGB(source.Picture, AV_PIX_FMT_BGR24, false, 48, 64));
        EXPECT_FALSE(converter.RGBToPicture(source.Picture, format, 48, 64));
        EXPECT_EQ(converter.LastErrMsg(), "Cannot initialize the fromRGB conversion context");
    }
}

} // namespace
