// The option state of a transcoding job and SetExtOption, the one entry point that sets
// it. A job is configured like a command-line transcoder: each option sets fields here,
// and the job consumes them when it opens its next input, creates its next output or
// its next output stream; its run reads a copy of the run flags taken when it starts.
// The job class derives from TFFmpegOptions and overrides the protected hooks through
// which options reach the files it has opened.
//
// Threads: options are set from the job owner's thread while the job is idle.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/FFApi.h"
#include "encode/FFOptions.h"
#include "encode/FFmpegException.h"
#include "encode/FFmpegStreams.h"

namespace vx {

// "map": output streams are fed from input file.stream, synchronised to the sync pair.
struct TAVStreamMap {
    int32_t file_index = 0;
    int32_t stream_index = 0;
    int32_t sync_file_index = 0;
    int32_t sync_stream_index = 0;
};

// One end of a "map_metadata": type_ 'g' global, 's' stream, 'c' chapter, 'p' program;
// index names the stream, chapter or program.
struct TAVMetaDataMap {
    int32_t file_idx = 0;
    char type_ = 'g';
    int32_t index = 0;
};
// Output end first, input end second.
using TAVMetaDataMapPair = std::array<TAVMetaDataMap, 2>;

// "map_chapters": chapters of input in_file go to output out_file.
struct TAVChapterMap {
    int32_t in_file = 0;
    int32_t out_file = 0;
};

// The most streams the library gives a file; stream indices of options stay below it.
inline constexpr int MaxStreams = 1024;

// Grows a job array to ACount zero-filled entries (never shrinks). The limits are those
// of the job's other growing arrays: a count of 2147483647 / entry size or more throws
// std::runtime_error("Array too big."), an allocation failure std::runtime_error("Could
// not alloc buffer.").
template <class T> void grow_array(std::vector<T>& AArray, int64_t ACount) {
    if (ACount >= std::numeric_limits<int32_t>::max() / static_cast<int64_t>(sizeof(T)))
        throw std::runtime_error("Array too big.");
    if (ACount <= static_cast<int64_t>(AArray.size()))
        return;
    try {
        AArray.resize(static_cast<size_t>(ACount));
    } catch (const std::bad_alloc&) {
        throw std::runtime_error("Could not alloc buffer.");
    }
}

struct TOptionParsers;

// What the options say about the next file the job opens, input or output. The open reads
// it (an output's video streams too) and, once the file is open, the job drops it for a
// fresh one. A failed open leaves it for the next try.
struct TNextFileOptions {
    std::string format;            // "f": the container; none: found from the name or the data
    int32_t frame_width = 0;       // "s"
    int32_t frame_height = 0;      // "s"
    AVRational frame_rate{0, 0};   // "r"; 0/0: none
    int32_t audio_sample_rate = 0; // "ar"
    int32_t audio_channels = 0;    // "ac"
};

// What the options say about the next output stream of one kind ("vcodec", "vn", "vlang",
// "vbsf" and their siblings). The stream takes it when it is created and the job drops it
// for a fresh one. The codec name also chooses the decoder of the next input, which drops
// it too.
struct TNextStreamOptions {
    std::optional<std::string> codec_name; // none: the container's choice
    int32_t stream_copy = 0;               // 1: copied, not encoded
    bool disable = false;                  // no stream of this kind (inputs: discarded)
    std::string language;
    TBitstreamFilterChain bitstream_filters;
};

// The next output video stream's options: those of every kind, and the picture's pixel
// format ("pix_fmt") and forced key frames ("force_key_frames"). The pixel format is also
// the raw video format of the next input, which drops it (with the decoder name); an
// output drops the forced key frames when it is created, video stream or not.
struct TNextVideoOptions : TNextStreamOptions {
    AVPixelFormat pix_fmt = AV_PIX_FMT_NONE;
    std::string forced_key_frames; // times, as given; checked when set
};

// What the options say about the run of the job: the set-up and the loop read the copy
// that the job takes when it starts converting, so that options set later cannot change
// a running job. Options, inputs and outputs read and change the job's own flags.
struct TRunFlags {
    int32_t verbose = 1; // "v"
    // By AVMediaType: video, audio, data, subtitle.
    std::array<int32_t, 4> max_frames{
        std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(),
        std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max()};
    bool same_quality = false;
    bool do_deinterlace = false;
    bool qp_hist = false;
    // "top": -1 the decoder's; an input opened after it drops it (its decoders had it).
    int32_t top_field_first = -1;
    int32_t me_threshold = 0;
    int32_t frame_bits_per_raw_sample = 0;
    int64_t recording_time = std::numeric_limits<int64_t>::max(); // microseconds; max: unlimited
    // Microseconds; taken by the next input as its seek, else the start of the outputs.
    int64_t start_time = 0;
    bool do_hex_dump = false;
    bool do_pkt_dump = false;
    std::string pass_logfilename_prefix;
    int32_t video_sync_method = -1; // -1: automatic
    int32_t audio_sync_method = 0;
    float audio_drift_threshold = 0.1f;
    bool copy_ts = false;
    bool copy_tb = false;
    bool opt_shortest = false;
    std::optional<std::string> vstats_filename;
    // 0: none; taken by the next input, else the program the run's streams come from.
    int32_t opt_programid = 0;
    int32_t copy_initial_nonkeyframes = 0;
    bool rate_emu = false;
    int32_t audio_volume = 256; // 256: unity
    bool exit_on_error = false;
    bool using_vhook = false;
    int64_t limit_filesize = 0; // bytes; 0: unlimited
    bool force_fps = false;
    bool input_sync = false;
    float dts_delta_threshold = 10.0f; // seconds
    std::vector<TAVStreamMap> stream_maps;
    std::vector<TAVMetaDataMapPair> meta_data_maps;
    int32_t metadata_global_autocopy = 1;
    int32_t metadata_streams_autocopy = 1;
    int32_t metadata_chapters_autocopy = 1;
    std::vector<TAVChapterMap> chapter_maps;
    // Video filter graphs were asked for: set by an output or a video stream with a filter.
    bool enable_filter = false;
    // The audio path and the video encoder on threads of their own: 0 no, 1 yes, -1 when the
    // codecs are given a thread count other than 1 ("threads"). Runs whose loop needs what
    // is encoded at once keep one thread whatever this says.
    int32_t stage_threads = -1;
};

class TFFmpegOptions {
public:
    // Needs the media libraries loaded (the generic option store makes its prototypes).
    TFFmpegOptions();
    virtual ~TFFmpegOptions();
    TFFmpegOptions(const TFFmpegOptions&) = delete;
    TFFmpegOptions& operator=(const TFFmpegOptions&) = delete;

    // Applies one option: the name as given (lower-cased by the caller, no leading "-"),
    // the value untrimmed. Throws FFmpegException with the option's message for a bad
    // value; the one exception is a codec tag of the wrong length, which throws
    // std::logic_error. A throwing option changes nothing; options before it stay.
    // An unknown name goes to the generic option store; its refusal throws only when
    // HaltOnInvalidOption. Not while the job converts.
    virtual void SetExtOption(const std::string& AName, const std::string& AValue);

    // A disc or DV target preset. AType "vcd", "svcd", "dvd", "dv" or "dv50" (else
    // "Unknown target type"); ANorm "pal", "ntsc", "film" or "auto": found from the
    // frame rate option or else the inputs opened so far, falling back to ADefaultNorm.
    void apply_target(const std::string& AType, const std::string& ANorm, const std::string& ADefaultNorm);

    // A duration (AIsDuration) or a date in microseconds, as the library reads time
    // texts; a text it cannot read, or a time beyond 2^60 microseconds either way, throws
    // the duration or date error naming AContext.
    static int64_t parse_time_value(const std::string& AContext, const std::string& ATime, bool AIsDuration);

    bool HaltOnInvalidOption() const { return FHaltOnInvalidOption; }
    void SetHaltOnInvalidOption(bool AValue) { FHaltOnInvalidOption = AValue; }
    int Verbose() const { return FRunFlags.verbose; }
    void SetVerbose(int AValue) { FRunFlags.verbose = AValue; }

    // ---- Job option state: what the options set, read and reset by the job. ----
    TNextFileOptions FNextFile;
    TNextVideoOptions FNextVideo;
    TNextStreamOptions FNextAudio, FNextSubtitle, FNextData;
    // What the run reads: copied when the run starts.
    TRunFlags FRunFlags;
    // Taken by the next encoded video stream; a copied one reads the aspect and leaves both
    // for the next video stream.
    float Fframe_aspect_ratio = 0;
    std::string Fvfilters;
    AVSampleFormat Faudio_sample_fmt = AV_SAMPLE_FMT_NONE;
    float Fvideo_qscale = 0;
    std::optional<std::array<uint16_t, 64>> Fintra_matrix;
    std::optional<std::array<uint16_t, 64>> Finter_matrix;
    std::optional<std::string> Fvideo_rc_override_string;
    int32_t Fvideo_discard = 0;
    uint32_t Fvideo_codec_tag = 0;
    uint32_t Faudio_codec_tag = 0;
    uint32_t Fsubtitle_codec_tag = 0;
    uint32_t Fdata_codec_tag = 0;
    bool Fintra_only = false;
    int32_t Fintra_dc_precision = 8;
    bool Floop_input = false;
    int32_t Floop_output = -1;
    int64_t Fchannel_layout = 0;
    float Faudio_qscale = -99999.0f;  // -99999: none
    float Fmux_preload = 0.5f;        // seconds
    float Fmux_max_delay = 0.7f;      // seconds
    int64_t Frecording_timestamp = 0; // seconds
    int64_t Finput_ts_offset = 0;     // microseconds
    TAVDict Fmetadata;
    bool Fdo_psnr = false;
    int32_t Fdo_pass = 0;
    // The next output keeps an existing file of its name: it takes the next free numbered
    // name when its run ends. Reset by each output.
    bool Fkeep_existing = false;
    // "vc": taken by the next input that is opened.
    int32_t Fvideo_channel = 0;
    std::optional<std::string> Fvideo_standard;
    int32_t Fthread_count = 1;
    // By output stream index; never cleared between output files.
    std::vector<int32_t> Fstreamid_map;
    // By input file, then by stream index; 0: unscaled.
    std::vector<std::vector<double>> Finput_files_ts_scale;
    int Fnb_input_files_ts_scale() const { return static_cast<int>(Finput_files_ts_scale.size()); }
    // Generic options; reset after each input and output file is opened.
    TFFOptions FOptions;

protected:
    // ---- What options need from the job. The defaults describe a job without files. ----

    // The number of input files opened so far ("itsscale" fills the next one's scales).
    virtual int InputFileCount() const { return 0; }
    // The number of output files created so far.
    virtual int OutputFileCount() const { return 0; }
    // The frame rate (frames per second, the inverse of the decoder time base) of every
    // video stream of the inputs opened so far, in file and stream order: the automatic
    // norm of a target looks for 25 or 29.97/23.976 among them.
    virtual std::vector<AVRational> InputVideoFrameRates() const { return {}; }
    // "newvideo", "newaudio", "newsubtitle", "newdata": one more stream of AKind in the
    // last output file. Only called when OutputFileCount() > 0; throws FFmpegException.
    virtual void NewOutputStream(AVMediaType AKind) { (void)AKind; }
    // "t" also sets the duration that progress is measured against.
    virtual void RecordingTimeSet(int64_t AMicroseconds) { (void)AMicroseconds; }
    // "vhook": loads a frame hook (AArgs[0] the library, then its arguments); false when
    // it cannot be loaded.
    virtual bool AddFrameHook(const std::vector<std::string>& AArgs) {
        (void)AArgs;
        return false;
    }

    bool FHaltOnInvalidOption = true;

private:
    // The options' functions (FFmpegOptionTable.cpp) reach the job's hooks and routines.
    friend struct TOptionParsers;
    void opt_codec(const std::string& AKind, const std::string& AValue);
    void opt_codec_tag(const std::string& AName, const std::string& AValue);
    void opt_bitrate(const std::string& AName, const std::string& AValue);
    void opt_generic(const std::string& AName, const std::string& AValue);
    void opt_preset(const std::string& AName, const std::string& AValue);
    void opt_bsf(const std::string& AName, const std::string& AValue);
    void opt_target(const std::string& AValue);
    void opt_new_stream(AVMediaType AKind);
};

} // namespace vx
