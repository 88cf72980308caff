#include "encode/filters/EqualizerFilters.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "base/FFLog.h"
#include "encode/filters/NativeFilter.h"

namespace vx {

namespace {

struct TLiveValues {
    std::mutex Lock;
    int64_t NextKey = 1;
    std::map<int64_t, std::weak_ptr<std::atomic<int32_t>>> Values;
};

TLiveValues& LiveValues() {
    static TLiveValues values;
    return values;
}

TLiveFilterValue FindLiveValue(int64_t AKey) {
    TLiveValues& values = LiveValues();
    std::lock_guard lock(values.Lock);
    const auto it = values.Values.find(AKey);
    return it == values.Values.end() ? nullptr : it->second.lock();
}

// One adjustable value of a filter: its own, or a live one.
struct TSetting {
    const char* Name;
    int32_t Own = 0;
    TLiveFilterValue Live;
    int32_t Logged = 0;

    // AValue clamped to -100..100, with an error line for ASender when it was outside.
    int32_t Clamp(void* ASender, int32_t AValue) const {
        const int32_t clamped = std::clamp(AValue, -100, 100);
        if (clamped != AValue)
            GetLogger().LogF(ASender, llError, "Invalid %s value %d, force to %d", Name, AValue, clamped);
        return clamped;
    }
    // The value for the next picture.
    int32_t Read(void* ASender) const {
        return Live ? Clamp(ASender, Live->load(std::memory_order_relaxed)) : Own;
    }
};

const std::vector<AVPixelFormat>& EqualizerFormats() {
    static const std::vector<AVPixelFormat> formats = {
        AV_PIX_FMT_YUV420P,  AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P,  AV_PIX_FMT_YUV410P,
        AV_PIX_FMT_YUV411P,  AV_PIX_FMT_YUV440P, AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P,
        AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUVJ440P};
    return formats;
}

// What both equalizers share: two settings read from the argument text and re-read for
// every picture.
class TEqualizer : public TNativeFilter {
public:
    TEqualizer(void* ASender, const char* AFirst, const char* ASecond) : FSender(ASender) {
        FSettings[0].Name = AFirst;
        FSettings[1].Name = ASecond;
    }

    // Reads "first:second:live first:live second"; false (logged) when a field is not a number
    // or not the key of a live value.
    bool Parse(const std::string& AArgs) {
        size_t start = 0;
        for (int field = 0; field < 4 && start <= AArgs.size(); ++field) {
            size_t stop = AArgs.find(':', start);
            if (stop == std::string::npos)
                stop = AArgs.size();
            const std::string text = AArgs.substr(start, stop - start);
            start = stop + 1;
            if (text.empty())
                continue;
            errno = 0;
            char* end = nullptr;
            const long long value = std::strtoll(text.c_str(), &end, 10);
            if (end == text.c_str() || *end != '\0' || errno != 0) {
                GetLogger().LogF(FSender, llError, "failed to parsing parameters: %s",
                                 ("'" + text + "' is not a valid integer value").c_str());
                return false;
            }
            TSetting& setting = FSettings[field % 2];
            if (field < 2) {
                setting.Own = static_cast<int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
            } else if (value != 0) {
                setting.Live = FindLiveValue(value);
                if (!setting.Live) {
                    GetLogger().LogF(FSender, llError, "failed to parsing parameters: %s",
                                     ("no live value " + text).c_str());
                    return false;
                }
            }
        }
        for (TSetting& setting : FSettings) {
            setting.Own = setting.Clamp(FSender, setting.Own);
            setting.Logged = setting.Read(FSender);
        }
        GetLogger().LogF(FSender, llDebug, "%s:%d, %s:%d", FSettings[0].Name, FSettings[0].Logged,
                         FSettings[1].Name, FSettings[1].Logged);
        FActive =
            FSettings[0].Logged != 0 || FSettings[1].Logged != 0 || FSettings[0].Live || FSettings[1].Live;
        return true;
    }

    const std::vector<AVPixelFormat>& PixelFormats() const override { return EqualizerFormats(); }

    TVideoGeometry Configure(const TVideoGeometry& AInput) override {
        const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(AInput.PixFmt));
        FHsub = desc ? desc->log2_chroma_w : 0;
        FVsub = desc ? desc->log2_chroma_h : 0;
        return AInput;
    }

    int Filter(TFramePtr& APicture) override {
        int32_t values[2];
        for (int i = 0; i < 2; ++i)
            values[i] = FSettings[i].Read(FSender);
        if (values[0] != FSettings[0].Logged || values[1] != FSettings[1].Logged) {
            FSettings[0].Logged = values[0];
            FSettings[1].Logged = values[1];
            GetLogger().LogF(FSender, llDebug, "%s:%d, %s:%d", FSettings[0].Name, values[0],
                             FSettings[1].Name, values[1]);
        }
        if (!FActive || (values[0] == 0 && values[1] == 0))
            return 0;
        // The picture may be shared with the decoder or an earlier stage.
        const int ret = ff::av_frame_make_writable(APicture.get());
        if (ret < 0)
            return ret;
        Apply(APicture.get(), values[0], values[1]);
        return 0;
    }

protected:
    virtual void Apply(AVFrame* APicture, int32_t AFirst, int32_t ASecond) = 0;

    int FHsub = 0, FVsub = 0;

private:
    void* FSender;
    TSetting FSettings[2];
    bool FActive = false;
};

class TBrightnessContrast : public TEqualizer {
public:
    explicit TBrightnessContrast(void* ASender) : TEqualizer(ASender, "brightness", "contrast") {}

protected:
    void Apply(AVFrame* APicture, int32_t ABrightness, int32_t AContrast) override {
        const uint32_t k = static_cast<uint32_t>((AContrast + 100) * 65536) / 100;
        const int64_t offset = int64_t(ABrightness + 100) * 511 / 200 - int64_t(k >> 9) - 128;
        uint8_t table[256];
        for (int p = 0; p < 256; ++p)
            table[p] = static_cast<uint8_t>(std::clamp<int64_t>(offset + int64_t(k) * p / 65536, 0, 255));
        for (int y = 0; y < APicture->height; ++y) {
            uint8_t* row = APicture->data[0] + y * APicture->linesize[0];
            for (int x = 0; x < APicture->width; ++x)
                row[x] = table[row[x]];
        }
    }
};

class THueSaturation : public TEqualizer {
public:
    explicit THueSaturation(void* ASender) : TEqualizer(ASender, "hue", "saturation") {}

protected:
    void Apply(AVFrame* APicture, int32_t AHue, int32_t ASaturation) override {
        const double angle = AHue * M_PI / 100;
        const int f = ASaturation + 100;
        const int64_t s = static_cast<int64_t>(std::floor(std::sin(angle) * 65536 * f / 100 + 0.5));
        const int64_t c = static_cast<int64_t>(std::floor(f * std::cos(angle) * 65536 / 100 + 0.5));
        const int rows = AV_CEIL_RSHIFT(APicture->height, FVsub);
        const int cols = AV_CEIL_RSHIFT(APicture->width, FHsub);
        for (int y = 0; y < rows; ++y) {
            uint8_t* uRow = APicture->data[1] + y * APicture->linesize[1];
            uint8_t* vRow = APicture->data[2] + y * APicture->linesize[2];
            for (int x = 0; x < cols; ++x) {
                const int64_t u = uRow[x] - 128, v = vRow[x] - 128;
                uRow[x] = static_cast<uint8_t>(std::clamp<int64_t>((c * u - s * v + 0x808000) >> 16, 0, 255));
                vRow[x] = static_cast<uint8_t>(std::clamp<int64_t>((s * u + c * v + 0x808000) >> 16, 0, 255));
            }
        }
    }
};

template <class TFilter>
std::unique_ptr<TNativeFilter> MakeEqualizer(void* ASender, const std::string& AArgs) {
    auto filter = std::make_unique<TFilter>(ASender);
    if (!filter->Parse(AArgs))
        return nullptr;
    return filter;
}

} // namespace

TLiveFilterValue MakeLiveFilterValue(int32_t AInitial, int64_t& AKey) {
    auto value = std::make_shared<std::atomic<int32_t>>(AInitial);
    TLiveValues& values = LiveValues();
    std::lock_guard lock(values.Lock);
    // Keys whose values are gone are dropped on the way.
    std::erase_if(values.Values, [](const auto& AEntry) { return AEntry.second.expired(); });
    AKey = values.NextKey++;
    values.Values.emplace(AKey, value);
    return value;
}

void RegisterEqualizerFilters() {
    RegisterNativeFilterOnce("nativeeq", MakeEqualizer<TBrightnessContrast>);
    RegisterNativeFilterOnce("nativehue", MakeEqualizer<THueSaturation>);
}

} // namespace vx
