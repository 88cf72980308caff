// What the encoders of this library generation refuse in frame rates and picture sizes,
// and the nearest values they take. The older encoders took rates with any time base and
// cropped or coded pictures of any size; some of the present ones refuse to open, or fail
// on the first picture, instead.
#pragma once

#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vx {

// The rate closest to ARate whose time base (1 / rate) the encoder of ACodec can code; ARate
// itself when it can. MPEG-4 Part 2 codes the time base's denominator in 16 bits.
AVRational EncoderFrameRate(AVCodecID ACodec, AVRational ARate);

struct TPictureSize {
    int Width = 0;
    int Height = 0;
    bool operator==(const TPictureSize&) const = default;
};

// The picture sizes an encoder takes.
struct TSizeLimits {
    int AlignWidth = 1, AlignHeight = 1; // width and height are multiples of these
    int MaxWidth = 0, MaxHeight = 0;     // 0: no limit
    int MaxMacroblocks = 0;              // 16x16 blocks per picture at most; 0: no limit
    int RefusedMultiple = 0;             // neither side may be a multiple of it; 0: none
    std::vector<TPictureSize> Only;      // when not empty, the only sizes taken
    std::string Text;                    // the limit in words, for messages; empty: no limit
};

// The limits of the encoder of ACodec for pictures of APixFmt (whose chroma subsampling asks
// for whole chroma samples); AStrict is the context's strictness.
TSizeLimits EncoderSizeLimits(AVCodecID ACodec, AVPixelFormat APixFmt, int AStrict);

bool SizeFits(const TSizeLimits& ALimits, TPictureSize ASize);

// For a picture taken over at the source's size: the largest size the encoder takes that is no
// larger than ASource and keeps its shape (rounded as the encoder needs); from a fixed list, the
// largest one within ASource, else the smallest. None when no size can work.
std::optional<TPictureSize> LargestFittingSize(const TSizeLimits& ALimits, TPictureSize ASource);

// For a size that was asked for: the asked size rounded down to the encoder's multiples, when
// that is all the encoder needs. None when the encoder cannot take the size.
std::optional<TPictureSize> AlignedSize(const TSizeLimits& ALimits, TPictureSize AAsked);

// The largest coded picture that a muxer writes, for an encoder that can hold every picture
// within it. The RealMedia muxer puts each picture in one chunk whose length, with its headers,
// is 16 bits (the older generation split larger pictures).
struct TPictureBudget {
    int Bytes = 0;          // the muxer's limit; 0: none
    int BufferBits = 0;     // the encoder's buffer (a little below the limit) that keeps to it
    int MaxMacroblocks = 0; // the most a picture can have and still fit when coded coarsest
};

// The budget of the muxer named AMuxer for video of ACodec.
TPictureBudget MuxerPictureBudget(const char* AMuxer, AVCodecID ACodec);

} // namespace vx
