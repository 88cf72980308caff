// The generic option store: codec, container and scaler options that the transcoder
// (and the player) do not know by name. Each accepted option is set on prototype
// contexts right away, so a bad name or value is refused when it is given, and is
// recorded, so that it can be copied onto the real contexts when they are opened.
//
// Options that only exist privately in one codec, muxer or demuxer cannot be set on a
// prototype (nobody knows yet which codec will be chosen); they are recorded with their
// value and set on the private data of the context that has them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/FFApi.h"
#include "base/FormatIO.h"

namespace vx {

// An owned library dictionary.
class TAVDict {
public:
    TAVDict() = default;
    ~TAVDict() { Clear(); }
    TAVDict(TAVDict&& AOther) noexcept : FDict(AOther.FDict) { AOther.FDict = nullptr; }
    TAVDict& operator=(TAVDict&& AOther) noexcept;
    TAVDict(const TAVDict&) = delete;
    TAVDict& operator=(const TAVDict&) = delete;

    AVDictionary* Get() const { return FDict; }
    // For the library calls that fill or replace a dictionary.
    AVDictionary** Ref() { return &FDict; }
    // Hands the dictionary over to a library object that frees it.
    AVDictionary* Release() {
        AVDictionary* d = FDict;
        FDict = nullptr;
        return d;
    }
    int Set(const std::string& AKey, const std::string& AValue, int AFlags = 0);
    // The value of AKey, or null.
    const char* Value(const std::string& AKey) const;
    int Count() const;
    void Clear();

private:
    AVDictionary* FDict = nullptr;
};

// Prototype codec contexts, one per media kind, indexed by AVMediaType (video, audio,
// data, subtitle, attachment).
inline constexpr int PrototypeKinds = AVMEDIA_TYPE_ATTACHMENT + 1;

// AVOption flag combinations that tell apply_generic_options what the target is.
inline constexpr int OptFlagsInputFormat = AV_OPT_FLAG_DECODING_PARAM;                                  // 2
inline constexpr int OptFlagsOutputFormat = AV_OPT_FLAG_ENCODING_PARAM;                                 // 1
inline constexpr int OptFlagsVideoDecoder = AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_DECODING_PARAM;       // 18
inline constexpr int OptFlagsAudioDecoder = AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_DECODING_PARAM;       // 10
inline constexpr int OptFlagsVideoEncoder = AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM;       // 17
inline constexpr int OptFlagsAudioEncoder = AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM;       // 9
inline constexpr int OptFlagsSubtitleEncoder = AV_OPT_FLAG_SUBTITLE_PARAM | AV_OPT_FLAG_ENCODING_PARAM; // 33

// Used on one thread at a time (the owner's, while the job or player is idle).
// Needs the codec, format, utility and scaler libraries loaded (else the constructor
// throws std::logic_error); it throws FFmpegException when a prototype cannot be made.
class TFFOptions {
public:
    TFFOptions();
    ~TFFOptions();
    TFFOptions(const TFFOptions&) = delete;
    TFFOptions& operator=(const TFFOptions&) = delete;

    // Accepts one option or refuses it; on refusal LastFailure() says why (and the text
    // went to the library log at error level).
    bool set_generic_option(const std::string& AName, const std::string& AValue);

    // Copies the recorded options onto a codec context that is about to be opened:
    // values come from APrototype where it has the option with all of AFlags (see the
    // OptFlags constants), private options go to the context's private data, which the
    // context has when it was allocated for ACodec.
    void apply_generic_options(AVCodecContext* ATarget, AVCodecContext* APrototype, const AVCodec* ACodec,
                               int AFlags);
    // The same for a format context; its private data is that of its muxer or demuxer.
    void apply_generic_options(AVFormatContext* ATarget, AVFormatContext* APrototype, int AFlags);

    // Forgets every recorded option and makes fresh prototypes: options given before a
    // file apply to that file only. LastFailure() is kept.
    void reset_generic_options();

    AVCodecContext* avcodec_opts(AVMediaType AKind) const;
    AVFormatContext* avformat_opts() const { return FFormat.get(); }
    SwsContext* sws_opts() const { return FSws.get(); }

    // The accepted options in the order given (a name shortened by its kind prefix, "vb"
    // to "b", is recorded short).
    const std::vector<std::string>& opt_names() const { return Fopt_names; }
    const std::vector<std::string>& opt_values() const { return Fopt_values; }
    int opt_name_count() const { return static_cast<int>(Fopt_names.size()); }

    // Private codec and container options, by the kind their flags name.
    const TAVDict& format_opts() const { return Fformat_opts; }
    const TAVDict& video_opts() const { return Fvideo_opts; }
    const TAVDict& audio_opts() const { return Faudio_opts; }
    const TAVDict& sub_opts() const { return Fsub_opts; }

    // The text of the most recent refusal.
    const std::string& LastFailure() const { return FLastFailure; }

private:
    struct TSwsFree {
        void operator()(SwsContext* ACtx) const { ff::sws_freeContext(ACtx); }
    };

    void Create();
    bool Fail(const std::string& AText);
    // Step for options private to some codec or format; ARecorded gets the name to keep.
    bool SetPrivateOption(const std::string& AName, const std::string& AValue, std::string& ARecorded);

    std::array<TCodecContextPtr, PrototypeKinds> FCodec;
    TFormatContextPtr FFormat;
    std::unique_ptr<SwsContext, TSwsFree> FSws;
    std::vector<std::string> Fopt_names;
    std::vector<std::string> Fopt_values;
    std::vector<bool> Fopt_private; // the option is private to some codec or format
    TAVDict Fformat_opts, Fvideo_opts, Faudio_opts, Fsub_opts;
    std::string FLastFailure;
};

} // namespace vx
