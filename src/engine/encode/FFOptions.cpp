#include "encode/FFOptions.h"

#include <stdexcept>
#include <utility>

#include "base/FFLog.h"
#include "base/TextFormat.h"
#include "encode/FFmpegException.h"

namespace vx {
namespace {

// The kinds in the order an option is tried on their prototypes, each with the
// AVOption flag that marks an option as one of that kind (data and attachments have
// none, so they take every codec option).
constexpr std::array<std::pair<AVMediaType, int>, PrototypeKinds> KindFlags = {{
    {AVMEDIA_TYPE_VIDEO, AV_OPT_FLAG_VIDEO_PARAM},
    {AVMEDIA_TYPE_AUDIO, AV_OPT_FLAG_AUDIO_PARAM},
    {AVMEDIA_TYPE_DATA, 0},
    {AVMEDIA_TYPE_SUBTITLE, AV_OPT_FLAG_SUBTITLE_PARAM},
    {AVMEDIA_TYPE_ATTACHMENT, 0},
}};

// An option of a class, without an object of it.
const AVOption* FindClassOption(const AVClass* AClass, const std::string& AName, int ASearchFlags) {
    if (!AClass)
        return nullptr;
    return ff::av_opt_find(&AClass, AName.c_str(), nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ | ASearchFlags);
}

// Whether any codec, muxer or demuxer has AName among its own (private) options.
bool IsPrivateOption(const std::string& AName) {
    void* it = nullptr;
    while (const AVCodec* codec = ff::av_codec_iterate(&it))
        if (FindClassOption(codec->priv_class, AName, 0))
            return true;
    it = nullptr;
    while (const AVOutputFormat* muxer = ff::av_muxer_iterate(&it))
        if (FindClassOption(muxer->priv_class, AName, 0))
            return true;
    it = nullptr;
    while (const AVInputFormat* demuxer = ff::av_demuxer_iterate(&it))
        if (FindClassOption(demuxer->priv_class, AName, 0))
            return true;
    return false;
}

// The private data of a context when it really is an object of AClass.
void* PrivateContext(void* APrivData, const AVClass* AClass) {
    if (!APrivData || !AClass || *static_cast<const AVClass**>(APrivData) != AClass)
        return nullptr;
    return APrivData;
}

std::string InvalidValueText(const std::string& AName, const std::string& AValue) {
    return "Invalid value \"" + AValue + "\" for option \"" + AName + "\"";
}

} // namespace

TAVDict& TAVDict::operator=(TAVDict&& AOther) noexcept {
    if (this != &AOther) {
        Clear();
        FDict = AOther.FDict;
        AOther.FDict = nullptr;
    }
    return *this;
}

int TAVDict::Set(const std::string& AKey, const std::string& AValue, int AFlags) {
    return ff::av_dict_set(&FDict, AKey.c_str(), AValue.c_str(), AFlags);
}

const char* TAVDict::Value(const std::string& AKey) const {
    const AVDictionaryEntry* entry = ff::av_dict_get(FDict, AKey.c_str(), nullptr, 0);
    return entry ? entry->value : nullptr;
}

int TAVDict::Count() const {
    return FDict ? ff::av_dict_count(FDict) : 0;
}

void TAVDict::Clear() {
    if (FDict)
        ff::av_dict_free(&FDict);
}

TFFOptions::TFFOptions() {
    Create();
}

TFFOptions::~TFFOptions() = default;

void TFFOptions::Create() {
    if (!ff::avcodec_alloc_context3 || !ff::avformat_alloc_context || !ff::sws_getContext)
        throw std::logic_error("The media libraries are not loaded");
    for (const auto& [kind, flag] : KindFlags) {
        TCodecContextPtr ctx(ff::avcodec_alloc_context3(nullptr));
        if (!ctx)
            throw FFmpegException("Could not allocate a prototype codec context");
        ctx->codec_type = kind;
        // A context made without a codec carries the defaults of every kind; where two
        // options share a field ("b" and "ab"), the kind's own default must win.
        if (flag)
            ff::av_opt_set_defaults2(ctx.get(), flag, flag);
        FCodec[kind] = std::move(ctx);
    }
    FFormat.reset(ff::avformat_alloc_context());
    if (!FFormat)
        throw FFmpegException("avformat_alloc_context failed");
    FSws.reset(ff::sws_getContext(16, 16, AV_PIX_FMT_YUV420P, 16, 16, AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                                  nullptr, nullptr, nullptr));
    if (!FSws)
        throw FFmpegException("Could not allocate a prototype scaler context");
}

AVCodecContext* TFFOptions::avcodec_opts(AVMediaType AKind) const {
    if (AKind < 0 || AKind >= PrototypeKinds)
        return nullptr;
    return FCodec[AKind].get();
}

bool TFFOptions::Fail(const std::string& AText) {
    FLastFailure = AText;
    ff::av_log(nullptr, AV_LOG_ERROR, "%s\n", AText.c_str());
    return false;
}

bool TFFOptions::set_generic_option(const std::string& AName, const std::string& AValue) {
    // A blank name (an empty line of option text) cannot be applied; say so rather than
    // leaving whatever an earlier failure said.
    if (Trim(AName).empty())
        return Fail("Empty option name");

    std::string recorded = AName;
    const bool isPrivate = IsPrivateOption(AName);
    if (isPrivate) {
        // Which codec or format will use it is not known yet: keep it for the private
        // data of the context that has it.
        if (!SetPrivateOption(AName, AValue, recorded))
            return false;
    } else {
        const char* name = AName.c_str();
        const char* value = AValue.c_str();
        bool found = false;
        int ret = 0;
        AVCodecContext* video = FCodec[AVMEDIA_TYPE_VIDEO].get();
        for (const auto& [kind, flag] : KindFlags) {
            if (!ff::av_opt_find(video, name, nullptr, flag, 0))
                continue;
            found = true;
            ret = ff::av_opt_set(FCodec[kind].get(), name, value, 0);
            if (ret < 0)
                break;
        }
        if (!found && ff::av_opt_find(FFormat.get(), name, nullptr, 0, 0)) {
            found = true;
            ret = ff::av_opt_set(FFormat.get(), name, value, 0);
        }
        if (!found && ff::av_opt_find(FSws.get(), name, nullptr, 0, 0)) {
            found = true;
            ret = ff::av_opt_set(FSws.get(), name, value, 0);
        }
        // "vb", "ab", "sfoo": the kind prefix picks the prototype for the option behind it.
        if (!found && AName.size() > 1 && (AName[0] == 'a' || AName[0] == 'v' || AName[0] == 's')) {
            AVCodecContext* proto = FCodec[AName[0] == 'a'   ? AVMEDIA_TYPE_AUDIO
                                           : AName[0] == 'v' ? AVMEDIA_TYPE_VIDEO
                                                             : AVMEDIA_TYPE_SUBTITLE]
                                        .get();
            const std::string rest = AName.substr(1);
            if (ff::av_opt_find(proto, rest.c_str(), nullptr, 0, 0)) {
                found = true;
                ret = ff::av_opt_set(proto, rest.c_str(), value, 0);
                if (ret >= 0)
                    recorded = rest;
            }
        }
        if (found && ret < 0)
            return Fail(InvalidValueText(AName, AValue));
        if (!found)
            return Fail("Unrecognized option \"" + AName + "\"");
    }

    Fopt_names.push_back(recorded);
    Fopt_values.push_back(AValue);
    Fopt_private.push_back(isPrivate);

    int64_t videoDebug = 0, formatDebug = 0;
    ff::av_opt_get_int(FCodec[AVMEDIA_TYPE_VIDEO].get(), "debug", 0, &videoDebug);
    ff::av_opt_get_int(FFormat.get(), "debug", 0, &formatDebug);
    if (videoDebug || formatDebug)
        GetLogger().SetLogLevel(llDebug);
    return true;
}

bool TFFOptions::SetPrivateOption(const std::string& AName, const std::string& AValue,
                                  std::string& ARecorded) {
    auto toKinds = [&](const AVOption* AOption, const std::string& AKey) {
        const int flags = AOption->type == AV_OPT_TYPE_FLAGS ? AV_DICT_APPEND : 0;
        if (AOption->flags & AV_OPT_FLAG_VIDEO_PARAM)
            Fvideo_opts.Set(AKey, AValue, flags);
        if (AOption->flags & AV_OPT_FLAG_AUDIO_PARAM)
            Faudio_opts.Set(AKey, AValue, flags);
        if (AOption->flags & AV_OPT_FLAG_SUBTITLE_PARAM)
            Fsub_opts.Set(AKey, AValue, flags);
    };
    if (const AVOption* o = FindClassOption(ff::avcodec_get_class(), AName, AV_OPT_SEARCH_CHILDREN)) {
        toKinds(o, AName);
        return true;
    }
    if (FindClassOption(ff::avformat_get_class(), AName, AV_OPT_SEARCH_CHILDREN)) {
        Fformat_opts.Set(AName, AValue);
        return true;
    }
    if (FindClassOption(ff::sws_get_class(), AName, 0)) {
        if (ff::av_opt_set(FSws.get(), AName.c_str(), AValue.c_str(), 0) < 0)
            return Fail("Error setting option \"" + AName + "\"");
        return true;
    }
    if (AName.size() > 1 && (AName[0] == 'a' || AName[0] == 'v' || AName[0] == 's')) {
        const std::string rest = AName.substr(1);
        if (const AVOption* o = FindClassOption(ff::avcodec_get_class(), rest, AV_OPT_SEARCH_CHILDREN)) {
            const int flags = o->type == AV_OPT_TYPE_FLAGS ? AV_DICT_APPEND : 0;
            TAVDict& dict = AName[0] == 'a' ? Faudio_opts : AName[0] == 'v' ? Fvideo_opts : Fsub_opts;
            dict.Set(rest, AValue, flags);
            ARecorded = rest;
            return true;
        }
    }
    return Fail("Unrecognized option \"" + AName + "\"");
}

namespace {

void SetRecorded(void* AObject, const std::string& AName, const std::string& AValue) {
    if (ff::av_opt_set(AObject, AName.c_str(), AValue.c_str(), 0) < 0)
        ff::av_log(nullptr, AV_LOG_ERROR, "%s\n", InvalidValueText(AName, AValue).c_str());
}

// Copies the recorded options onto ATarget: a value the prototype holds (set there when
// the option was given) for options of the target's kind and direction, else the
// recorded text for an option private to the target's codec or format.
void ApplyRecorded(void* ATarget, void* APrototype, void* APrivate, int AFlags,
                   const std::vector<std::string>& ANames, const std::vector<std::string>& AValues,
                   const std::vector<bool>& APrivateNames) {
    for (size_t i = 0; i < ANames.size(); ++i) {
        const char* name = ANames[i].c_str();
        if (APrivateNames[i]) {
            // Some names ("profile", "level") are private options of a few codecs and
            // generic ones of all: the prototypes never saw the value, so it goes to the
            // private data where the codec has the option, else to the context itself.
            if (APrivate && ff::av_opt_find(APrivate, name, nullptr, AFlags, 0))
                SetRecorded(APrivate, ANames[i], AValues[i]);
            else if (ff::av_opt_find(ATarget, name, nullptr, AFlags, 0))
                SetRecorded(ATarget, ANames[i], AValues[i]);
            continue;
        }
        if (const AVOption* o = ff::av_opt_find(APrototype, name, nullptr, 0, 0)) {
            if ((o->flags & AFlags) != AFlags)
                continue;
            uint8_t* value = nullptr;
            if (ff::av_opt_get(APrototype, name, 0, &value) >= 0 && value)
                ff::av_opt_set(ATarget, name, reinterpret_cast<const char*>(value), 0);
            ff::av_free(value);
        } else if (APrivate && ff::av_opt_find(APrivate, name, nullptr, AFlags, 0)) {
            SetRecorded(APrivate, ANames[i], AValues[i]);
        }
    }
}

} // namespace

void TFFOptions::apply_generic_options(AVCodecContext* ATarget, AVCodecContext* APrototype,
                                       const AVCodec* ACodec, int AFlags) {
    if (!ATarget || !APrototype)
        return;
    // This library generation allocates a codec's private data with the context (when
    // it is allocated for that codec); it cannot be allocated from outside.
    void* priv = ACodec ? PrivateContext(ATarget->priv_data, ACodec->priv_class) : nullptr;
    ApplyRecorded(ATarget, APrototype, priv, AFlags, Fopt_names, Fopt_values, Fopt_private);
}

void TFFOptions::apply_generic_options(AVFormatContext* ATarget, AVFormatContext* APrototype, int AFlags) {
    if (!ATarget || !APrototype)
        return;
    const AVClass* cls = ATarget->oformat   ? ATarget->oformat->priv_class
                         : ATarget->iformat ? ATarget->iformat->priv_class
                                            : nullptr;
    ApplyRecorded(ATarget, APrototype, PrivateContext(ATarget->priv_data, cls), AFlags, Fopt_names,
                  Fopt_values, Fopt_private);
}

void TFFOptions::reset_generic_options() {
    Fopt_names.clear();
    Fopt_values.clear();
    Fopt_private.clear();
    Fformat_opts.Clear();
    Fvideo_opts.Clear();
    Faudio_opts.Clear();
    Fsub_opts.Clear();
    Create();
}

} // namespace vx
