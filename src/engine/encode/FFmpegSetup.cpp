// The set-up of a run: which input stream feeds each output stream, the codec
// parameters of every output stream (copied or derived for encoding), two-pass log
// files, opening the encoders and decoders, initial timestamps, metadata, chapters and
// headers; and the teardown that matches it.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "base/FFLog.h"
#include "base/TextFormat.h"
#include "decode/FFUtils.h"
#include "encode/FFmpeg.h"

namespace vx {

namespace {

constexpr AVRational MicrosecondBase{1, AV_TIME_BASE};

std::string KindName(AVMediaType AKind) {
    return MediaTypeName(AKind);
}

bool ValidRate(AVRational ARate) {
    return ARate.num > 0 && ARate.den > 0;
}

// Fixed lists of the JPEG encoders when the strictness allows the non-JPEG ranges.
const AVPixelFormat MjpegFormats[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUV420P,
                                      AV_PIX_FMT_YUV422P, AV_PIX_FMT_NONE};
const AVPixelFormat LjpegFormats[] = {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUVJ444P,
                                      AV_PIX_FMT_YUV420P,  AV_PIX_FMT_YUV422P,  AV_PIX_FMT_YUV444P,
                                      AV_PIX_FMT_BGRA,     AV_PIX_FMT_NONE};

void CopyStreamSideData(AVStream* AStream, AVPacketSideDataType AType, const uint8_t* AData, size_t ASize) {
    uint8_t* copy = ff::av_stream_new_side_data(AStream, AType, ASize);
    CheckAllocated(copy, "Could not copy the side data of an encoder");
    std::copy(AData, AData + ASize, copy);
}

const char* PixFmtName(AVPixelFormat AFormat) {
    const char* name = ff::av_get_pix_fmt_name(AFormat);
    return name ? name : "none";
}

} // namespace

// ---- Open codecs ----

void TCustomFFmpeg::close_open_codecs() {
    for (auto it = Frun_streams.rbegin(); it != Frun_streams.rend(); ++it) {
        TAVOutputStream& ost = **it;
        if (!ost.encoder_opened)
            continue;
        ost.encoder_opened = false;
        if (ost.enc_ctx)
            ost.enc_ctx->stats_in = nullptr; // points into ost.stats_in
        ost.enc_ctx.reset();
    }
    for (auto it = Finput_streams.rbegin(); it != Finput_streams.rend(); ++it) {
        if (!it->decoder_opened)
            continue;
        it->decoder_opened = false;
        it->dec_ctx.reset();
    }
}

// ---- transcode_setup ----

void TCustomFFmpeg::transcode_setup() {
    try {
        if (FRun->rate_emu) {
            const int64_t now = SteadyMicroseconds();
            for (TAVInputStream& ist : Finput_streams)
                ist.start = now;
        }

        // Output checks.
        Frun_streams.clear();
        for (size_t i = 0; i < Foutput_files.size(); ++i) {
            TAVOutputFile& file = Foutput_files[i];
            if (file.streams.empty() && !(file.ctx->oformat->flags & AVFMT_NOSTREAMS)) {
                ff::av_dump_format(file.ctx.get(), static_cast<int>(i), file.file_name.c_str(), 1);
                throw FFmpegException(
                    FormatText("Output file #%d does not contain any stream", static_cast<int>(i)));
            }
            for (const auto& ost : file.streams)
                Frun_streams.push_back(ost.get());
        }
        Fslot_stream_count = Foutput_files.empty() ? 0 : static_cast<int>(Foutput_files[0].streams.size());
        if (!FRun->stream_maps.empty()) {
            if (FRun->stream_maps.size() != Frun_streams.size())
                throw FFmpegException("Number of stream maps must match number of output streams");
            for (const TAVStreamMap& map : FRun->stream_maps) {
                if (map.file_index >= nb_input_files() ||
                    map.stream_index >= Finput_files[map.file_index].nb_streams)
                    throw FFmpegException(
                        FormatText("Could not find input stream #%d.%d", map.file_index, map.stream_index));
                if (map.sync_file_index >= nb_input_files() ||
                    map.sync_stream_index >= Finput_files[map.sync_file_index].nb_streams)
                    throw FFmpegException(FormatText("Could not find sync stream #%d.%d", map.sync_file_index,
                                                     map.sync_stream_index));
            }
        }

        choose_input_streams();

        // Codec parameters of every output stream.
        for (size_t i = 0; i < Frun_streams.size(); ++i) {
            TAVOutputStream& ost = *Frun_streams[i];
            TAVInputStream& ist = Finput_streams[ost.source_index];
            if (FRun->metadata_streams_autocopy)
                ff::av_dict_copy(&ost.st->metadata, ist.st->metadata, AV_DICT_DONT_OVERWRITE);
            ost.st->disposition = ist.st->disposition;
            ost.enc_ctx->bits_per_raw_sample = ist.st->codecpar->bits_per_raw_sample;
            ost.enc_ctx->chroma_sample_location = ist.st->codecpar->chroma_location;
            if (ost.stream_copy)
                setup_stream_copy(ost, ist);
            else
                setup_encoding(ost, ist);
            setup_two_pass(ost, static_cast<int>(i));
        }

        // Decoders first: a subtitle encoder takes its header from the opened decoder.
        open_decoders();
        open_encoders();

        // Initial timestamps: a decoder that reorders starts that many frames early.
        for (TAVInputStream& ist : Finput_streams) {
            const AVRational rate = ist.st->avg_frame_rate;
            const int delay = ist.dec_ctx ? ist.dec_ctx->has_b_frames : ist.st->codecpar->video_delay;
            ist.pts = ValidRate(rate) ? -std::llround(delay * 1000000.0 * rate.den / rate.num) : 0;
            ist.next_pts = AV_NOPTS_VALUE;
            ist.is_start = 1;
        }

        copy_metadata_and_chapters();
        write_headers();
        dump_mapping();
    } catch (...) {
        transcode_cleanup();
        throw;
    }
}

void TCustomFFmpeg::choose_input_streams() {
    constexpr int Kinds = AVMEDIA_TYPE_ATTACHMENT + 1;
    int kindStreamCount[Kinds] = {};
    int kindFrameThreshold[Kinds] = {};
    for (const TAVOutputStream* ost : Frun_streams)
        if (ost->kind >= 0 && ost->kind < Kinds)
            ++kindStreamCount[ost->kind];

    // An input stream may feed an output when it is not taken yet, the library reads
    // it, and it belongs to the selected program (if any).
    auto inProgram = [&](const TAVInputStream& AIst) {
        if (FRun->opt_programid == 0)
            return true;
        const AVFormatContext* ctx = Finput_files[AIst.file_index].ctx.get();
        for (unsigned p = 0; p < ctx->nb_programs; ++p) {
            const AVProgram* program = ctx->programs[p];
            if (program->id != FRun->opt_programid)
                continue;
            for (unsigned s = 0; s < program->nb_stream_indexes; ++s)
                if (static_cast<int>(program->stream_index[s]) == AIst.st->index)
                    return true;
        }
        return false;
    };
    auto eligible = [&](const TAVInputStream& AIst) {
        return AIst.discard == 1 && AIst.st->discard != AVDISCARD_ALL && inProgram(AIst);
    };

    // Per kind, the largest count of frames seen in the stream information that still
    // leaves enough eligible streams: streams that showed nothing come last.
    for (int step = 1 << 30; step > 0; step >>= 1) {
        int found[Kinds] = {};
        for (int k = 0; k < Kinds; ++k)
            kindFrameThreshold[k] += step;
        for (const TAVInputStream& ist : Finput_streams) {
            const int kind = ist.st->codecpar->codec_type;
            if (kind >= 0 && kind < Kinds && eligible(ist) && ist.frames_in_info >= kindFrameThreshold[kind])
                ++found[kind];
        }
        for (int k = 0; k < Kinds; ++k)
            if (found[k] < kindStreamCount[k])
                kindFrameThreshold[k] -= step;
    }

    for (size_t n = 0; n < Frun_streams.size(); ++n) {
        TAVOutputStream* ost = Frun_streams[n];
        TAVInputStream* sync = nullptr;
        if (!FRun->stream_maps.empty()) {
            const TAVStreamMap& map = FRun->stream_maps[n];
            ost->source_index = Finput_files[map.file_index].ist_index + map.stream_index;
            sync = &Finput_streams[Finput_files[map.sync_file_index].ist_index + map.sync_stream_index];
            const TAVInputStream& ist = Finput_streams[ost->source_index];
            if (ist.st->codecpar->codec_type != ost->kind) {
                ff::av_dump_format(output_file_of(*ost).ctx.get(), ost->file_index,
                                   output_file_of(*ost).file_name.c_str(), 1);
                throw FFmpegException(FormatText("Codec type mismatch for mapping #%d.%d (%s) -> #%d.%d (%s)",
                                                 map.file_index, map.stream_index,
                                                 KindName(ist.st->codecpar->codec_type).c_str(),
                                                 ost->file_index, ost->index, KindName(ost->kind).c_str()));
            }
        } else {
            const int threshold = ost->kind >= 0 && ost->kind < Kinds ? kindFrameThreshold[ost->kind] : 0;
            int chosen = -1;
            for (size_t j = 0; j < Finput_streams.size(); ++j) {
                TAVInputStream& ist = Finput_streams[j];
                if (!eligible(ist) || ist.st->codecpar->codec_type != ost->kind ||
                    ist.frames_in_info < threshold)
                    continue;
                if (FJoinMode && (ist.file_index != ost->file_index || ist.used))
                    continue;
                chosen = static_cast<int>(j);
                if (FJoinMode)
                    ist.used = 1;
                break;
            }
            if (chosen < 0 && FRun->opt_programid == 0) {
                // Nothing unused: share a stream the library reads.
                for (size_t j = 0; j < Finput_streams.size(); ++j) {
                    TAVInputStream& ist = Finput_streams[j];
                    if (ist.st->codecpar->codec_type != ost->kind || ist.st->discard == AVDISCARD_ALL)
                        continue;
                    if (FJoinMode) {
                        if (ist.file_index != ost->file_index || ist.used)
                            continue;
                        ist.used = 1;
                        chosen = static_cast<int>(j);
                        break;
                    }
                    chosen = static_cast<int>(j);
                }
            }
            if (chosen < 0) {
                ff::av_dump_format(output_file_of(*ost).ctx.get(), ost->file_index,
                                   output_file_of(*ost).file_name.c_str(), 1);
                throw FFmpegException(
                    FormatText("Could not find input stream matching output stream #%d.%d (%s)",
                               ost->file_index, ost->index, KindName(ost->kind).c_str()));
            }
            ost->source_index = chosen;
        }
        TAVInputStream& ist = Finput_streams[ost->source_index];
        ist.discard = 0;
        ost->sync_ist = sync ? sync : &ist;
        ost->show_fps = 1;
    }
}

void TCustomFFmpeg::setup_stream_copy(TAVOutputStream& AOst, TAVInputStream& AIst) {
    const AVCodecParameters* in = AIst.st->codecpar;
    AVCodecContext* enc = AOst.enc_ctx.get();
    if (in->extradata_size < 0 || in->extradata_size > INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE)
        throw FFmpegException("icodec.extradata_size is invalid (too large)");

    switch (AOst.kind) {
    case AVMEDIA_TYPE_VIDEO: {
        const char* hook = nullptr;
        bool postHooks;
        {
            std::lock_guard lock(PostHookLock());
            postHooks = FPreviewHook || FPreviewBitmapHook;
        }
        if (OnVideoInputHook || OnVideoOutputHook)
            hook = "VideoHook";
        else if (OnFrameInputHook || OnFrameOutputHook)
            hook = "FrameHook";
        else if (FRun->using_vhook)
            hook = "-vhook";
        else if (postHooks)
            hook = "PostHooks";
        if (hook)
            throw FFmpegException(
                FormatText("-vcodec copy and %s are incompatible (frames are not decoded)", hook));
        break;
    }
    case AVMEDIA_TYPE_AUDIO:
        if (FRun->audio_volume != 256)
            throw FFmpegException("-acodec copy and -vol are incompatible (frames are not decoded)");
        if (OnAudioHook)
            throw FFmpegException("-acodec copy and AudioHook are incompatible (frames are not decoded)");
        break;
    case AVMEDIA_TYPE_DATA:
    case AVMEDIA_TYPE_SUBTITLE:
        break;
    default:
        throw FFmpegException("invalid codec_type of output stream");
    }

    // The further slots of a joined output write into the first slot's stream: its
    // parameters are the first input's, and a copy of another codec would not fit.
    if (FJoinMode && AOst.file_index > 0) {
        if (AOst.st->codecpar->codec_id != in->codec_id)
            throw FFmpegException(FormatText("Cannot join input stream #%d.%d (%s) to output stream #0.%d, "
                                             "which is a copy of another codec",
                                             AIst.file_index, AIst.st->index,
                                             ff::avcodec_get_name(in->codec_id), AOst.index));
        CheckResult(ff::avcodec_parameters_to_context(enc, in), "Could not copy the codec parameters");
        enc->time_base = AOst.st->time_base;
        return;
    }

    AVCodecParameters* out = AOst.st->codecpar;
    uint32_t tag = enc->codec_tag; // given by an option
    const AVRational askedAspect = enc->sample_aspect_ratio;
    if (ff::avcodec_parameters_copy(out, in) < 0)
        throw FFmpegException("av_mallocz fail");
    if (!tag) {
        // The input's tag stays when the container has no tag table of its own, or its
        // table says the same codec for that tag, or it has no tag for the codec at all.
        const AVCodecTag* const* table = output_file_of(AOst).ctx->oformat->codec_tag;
        if (!table || ff::av_codec_get_id(table, in->codec_tag) == in->codec_id ||
            ff::av_codec_get_tag(table, in->codec_id) == 0)
            tag = in->codec_tag;
    }
    out->codec_tag = tag;

    // A stream time base much finer than the frame (or sample) duration is replaced by
    // that duration, which containers with a time base per frame need.
    AVRational tb = AIst.st->time_base;
    AVRational frameDuration{0, 1};
    if (in->codec_type == AVMEDIA_TYPE_VIDEO) {
        if (ValidRate(AIst.st->r_frame_rate))
            frameDuration = AVRational{AIst.st->r_frame_rate.den, AIst.st->r_frame_rate.num};
        else if (ValidRate(AIst.st->avg_frame_rate))
            frameDuration = AVRational{AIst.st->avg_frame_rate.den, AIst.st->avg_frame_rate.num};
    } else if (in->codec_type == AVMEDIA_TYPE_AUDIO && in->sample_rate > 0) {
        frameDuration = AVRational{1, in->sample_rate};
    }
    if (!FRun->copy_tb && frameDuration.num > 0 && av_cmp_q(frameDuration, tb) > 0 &&
        av_cmp_q(tb, AVRational{1, 500}) < 0)
        ff::av_reduce(&tb.num, &tb.den, frameDuration.num, frameDuration.den, INT_MAX);

    switch (AOst.kind) {
    case AVMEDIA_TYPE_VIDEO: {
        AVRational sar = askedAspect;
        if (!sar.num)
            sar = AIst.st->sample_aspect_ratio.num ? AIst.st->sample_aspect_ratio : in->sample_aspect_ratio;
        if (!sar.num)
            sar = AVRational{0, 1};
        out->sample_aspect_ratio = AOst.st->sample_aspect_ratio = sar;
        break;
    }
    case AVMEDIA_TYPE_AUDIO:
        if ((out->block_align == 1 && out->codec_id == AV_CODEC_ID_MP3) || out->codec_id == AV_CODEC_ID_AC3)
            out->block_align = 0;
        break;
    default:
        break;
    }
    AOst.st->time_base = tb;
    if (in->codec_type == AVMEDIA_TYPE_VIDEO)
        AOst.st->avg_frame_rate = AIst.st->avg_frame_rate;
    for (int j = 0; j < AIst.st->nb_side_data; ++j)
        CopyStreamSideData(AOst.st, AIst.st->side_data[j].type, AIst.st->side_data[j].data,
                           AIst.st->side_data[j].size);
    CheckResult(ff::avcodec_parameters_to_context(enc, out), "Could not copy the codec parameters");
    enc->time_base = tb;
}

void TCustomFFmpeg::setup_encoding(TAVOutputStream& AOst, TAVInputStream& AIst) {
    AVCodecContext* enc = AOst.enc_ctx.get();
    AVCodecContext* dec = AIst.dec_ctx.get();
    if (!AOst.enc)
        AOst.enc = ff::avcodec_find_encoder(enc->codec_id);
    const AVCodec* codec = AOst.enc;
    // The further slots of a joined output go on in the first slot's encoder: their
    // encoder parameters are the first slot's.
    const TAVOutputStream* first =
        FJoinMode && AOst.file_index > 0 ? Foutput_files[0].streams[AOst.index].get() : nullptr;

    switch (AOst.kind) {
    case AVMEDIA_TYPE_AUDIO: {
        if (!enc->sample_rate)
            enc->sample_rate = dec->sample_rate >> dec->lowres;
        if (codec && codec->supported_samplerates && enc->sample_rate > 0) {
            const int asked = enc->sample_rate;
            int best = codec->supported_samplerates[0];
            for (const int* r = codec->supported_samplerates; *r; ++r)
                if (std::abs(*r - asked) < std::abs(best - asked))
                    best = *r;
            if (best != asked)
                GetLogger().LogF(this, llWarning,
                                 "Requested sampling rate unsupported using closest supported (%d)", best);
            enc->sample_rate = best;
        }
        if (enc->ch_layout.nb_channels == 0)
            ff::av_channel_layout_copy(&enc->ch_layout, &dec->ch_layout);
        if (enc->ch_layout.order != AV_CHANNEL_ORDER_NATIVE && enc->ch_layout.nb_channels > 0) {
            const int channels = enc->ch_layout.nb_channels;
            ff::av_channel_layout_uninit(&enc->ch_layout);
            ff::av_channel_layout_default(&enc->ch_layout, channels);
        }
        if (codec && codec->ch_layouts) {
            // An encoder with a fixed set of layouts takes the one of the same channel
            // count; a count it cannot take is refused when it is opened.
            bool supported = false;
            const AVChannelLayout* sameCount = nullptr;
            for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l) {
                if (ff::av_channel_layout_compare(l, &enc->ch_layout) == 0)
                    supported = true;
                if (!sameCount && l->nb_channels == enc->ch_layout.nb_channels)
                    sameCount = l;
            }
            if (!supported && sameCount) {
                ff::av_channel_layout_uninit(&enc->ch_layout);
                ff::av_channel_layout_copy(&enc->ch_layout, sameCount);
            }
        }
        if (enc->sample_fmt == AV_SAMPLE_FMT_NONE)
            enc->sample_fmt = codec && codec->sample_fmts ? codec->sample_fmts[0] : dec->sample_fmt;
        if (first) {
            enc->sample_rate = first->enc_ctx->sample_rate;
            enc->sample_fmt = first->enc_ctx->sample_fmt;
            ff::av_channel_layout_uninit(&enc->ch_layout);
            ff::av_channel_layout_copy(&enc->ch_layout, &first->enc_ctx->ch_layout);
        }
        enc->time_base = AVRational{1, enc->sample_rate > 0 ? enc->sample_rate : 1};
        AOst.audio_resample = enc->sample_rate != dec->sample_rate || FRun->audio_sync_method > 1;
        AOst.resample_sample_fmt = dec->sample_fmt;
        AOst.resample_sample_rate = dec->sample_rate;
        AOst.resample_channels = dec->ch_layout.nb_channels;
        AOst.encoding_needed = 1;
        AIst.decoding_needed = 1;
        break;
    }
    case AVMEDIA_TYPE_SUBTITLE:
        enc->time_base = AVRational{1, 1000};
        if (!enc->width && !enc->height) {
            enc->width = dec->width;
            enc->height = dec->height;
        }
        AOst.encoding_needed = 1;
        AIst.decoding_needed = 1;
        break;
    case AVMEDIA_TYPE_VIDEO: {
        const AVPixelFormat asked = enc->pix_fmt == AV_PIX_FMT_NONE ? dec->pix_fmt : enc->pix_fmt;
        enc->pix_fmt = asked;
        const AVPixelFormat* formats = codec ? codec->pix_fmts : nullptr;
        if (codec && enc->strict_std_compliance < FF_COMPLIANCE_NORMAL) {
            if (codec->id == AV_CODEC_ID_MJPEG)
                formats = MjpegFormats;
            else if (codec->id == AV_CODEC_ID_LJPEG)
                formats = LjpegFormats;
        }
        if (formats && formats[0] != AV_PIX_FMT_NONE) {
            const AVPixelFormat* p = formats;
            for (; *p != AV_PIX_FMT_NONE; ++p)
                if (*p == enc->pix_fmt)
                    break;
            if (*p == AV_PIX_FMT_NONE) {
                if (enc->pix_fmt != AV_PIX_FMT_NONE)
                    GetLogger().LogF(
                        this, llWarning,
                        "Incompatible pixel format \"%s\" for codec \"%s\", auto-selecting format \"%s\"",
                        PixFmtName(enc->pix_fmt), codec->name, PixFmtName(formats[0]));
                enc->pix_fmt = formats[0];
            }
        }
        if (enc->pix_fmt == AV_PIX_FMT_NONE)
            throw FFmpegException("Video pixel format is unknown, stream cannot be encoded");
        const bool shapeBySar = fit_video_size(AOst, *dec);
        AVRational rate = AOst.frame_rate;
        if (!ValidRate(rate))
            rate = ValidRate(AIst.st->r_frame_rate) ? AIst.st->r_frame_rate : AVRational{25, 1};
        rate = fit_frame_rate(AOst, rate);
        if (first) {
            enc->width = first->enc_ctx->width;
            enc->height = first->enc_ctx->height;
            enc->pix_fmt = first->enc_ctx->pix_fmt;
            rate = first->frame_rate;
        }
        AOst.frame_rate = rate;
        enc->framerate = rate;
        enc->time_base = AVRational{rate.den, rate.num};
        if (!first)
            fit_picture_budget(AOst);
        AOst.video_resample =
            enc->width != dec->width || enc->height != dec->height || enc->pix_fmt != dec->pix_fmt;
        if (AOst.video_resample)
            enc->bits_per_raw_sample = FRun->frame_bits_per_raw_sample;
        AOst.resample_width = dec->width;
        AOst.resample_height = dec->height;
        AOst.resample_pix_fmt = dec->pix_fmt;
        AOst.encoding_needed = 1;
        AIst.decoding_needed = 1;

        const AVOutputFormat* oformat = output_file_of(AOst).ctx->oformat;
        if (av_q2d(enc->time_base) < 0.001 && FRun->video_sync_method != 0 &&
            (FRun->video_sync_method == 1 ||
             (FRun->video_sync_method < 0 && !(oformat->flags & AVFMT_VARIABLE_FPS))))
            ff::av_log(nullptr, AV_LOG_WARNING,
                       "Frame rate very high for a muxer not effciciently supporting it.\n"
                       "Please consider specifiying a lower framerate, a different muxer or -vsync 2\n");

        // Forced key frames were given in microseconds.
        for (int64_t& t : AOst.forced_kf_pts)
            t = ff::av_rescale_q(t, MicrosecondBase, enc->time_base);

        FLastErrMsg.clear();
        if (FRun->enable_filter) {
            if (configure_video_filters(AIst, AOst) < 0)
                throw FFmpegException(FLastErrMsg.empty() ? std::string("Error opening filters!")
                                                          : "Error opening filters: " + FLastErrMsg);
        } else if (!enc->sample_aspect_ratio.num) {
            // Without a filter graph nothing else carries the picture's shape over: an
            // asked display aspect, else the input's, kept across the change of size.
            if (AOst.frame_aspect_ratio > 0) {
                enc->sample_aspect_ratio =
                    ff::av_d2q(static_cast<double>(AOst.frame_aspect_ratio) * enc->height / enc->width, 255);
            } else {
                AVRational in = AIst.st->sample_aspect_ratio.num ? AIst.st->sample_aspect_ratio
                                                                 : dec->sample_aspect_ratio;
                // A source that does not say is taken as square pixels once its size had to
                // change for the encoder (rounded, or from the encoder's fixed list).
                if (in.num <= 0 && shapeBySar)
                    in = AVRational{1, 1};
                if (in.num > 0 && in.den > 0 && dec->width > 0 && dec->height > 0)
                    ff::av_reduce(&enc->sample_aspect_ratio.num, &enc->sample_aspect_ratio.den,
                                  static_cast<int64_t>(in.num) * dec->width * enc->height,
                                  static_cast<int64_t>(in.den) * dec->height * enc->width, 255);
            }
        }
        if (first)
            enc->sample_aspect_ratio = first->enc_ctx->sample_aspect_ratio;
        AOst.st->sample_aspect_ratio = enc->sample_aspect_ratio;
        break;
    }
    default:
        throw FFmpegException("invalid codec_type of output stream");
    }
}

void TCustomFFmpeg::setup_two_pass(TAVOutputStream& AOst, int ARunIndex) {
    AVCodecContext* enc = AOst.enc_ctx.get();
    if (!AOst.encoding_needed || enc->codec_id == AV_CODEC_ID_H264 ||
        !(enc->flags & (AV_CODEC_FLAG_PASS1 | AV_CODEC_FLAG_PASS2)))
        return;
    // A joined output's later slots go on in the first slot's encoder and its file.
    if (FJoinMode && AOst.file_index > 0)
        return;
    std::string name =
        (FRun->pass_logfilename_prefix.empty() ? std::string("ffmpeg2pass") : FRun->pass_logfilename_prefix) +
        "-" + std::to_string(ARunIndex) + ".log";
    if (name.size() > 1023)
        name.resize(1023);
    if (enc->flags & AV_CODEC_FLAG_PASS1) {
        std::FILE* f = std::fopen(name.c_str(), "wb");
        if (!f)
            throw FFmpegException(FormatText("Cannot write log file %s for pass-1 encoding", name.c_str()));
        AOst.logfile.reset(f);
    } else {
        const int64_t ret = ReadWholeFile(name, AOst.stats_in);
        if (ret == AVERROR(ENOMEM))
            throw FFmpegException(FormatText(
                "Could not allocate file buffer: Error reading log file \"%s\" for pass-2 encoding",
                name.c_str()));
        if (ret < 0)
            throw FFmpegException(FormatText(
                "Cannot read file: Error reading log file \"%s\" for pass-2 encoding", name.c_str()));
        enc->stats_in = AOst.stats_in.data();
    }
}

void TCustomFFmpeg::open_encoders() {
    const size_t count = FJoinMode ? static_cast<size_t>(Fslot_stream_count) : Frun_streams.size();
    for (size_t i = 0; i < count; ++i) {
        TAVOutputStream& ost = *Frun_streams[i];
        if (!ost.encoding_needed)
            continue;
        AVCodecContext* enc = ost.enc_ctx.get();
        if (!ost.enc) {
            dump_mapping();
            const std::string text = FormatText(
                "Encoder (codec id %d) not found for output stream #%d.%d (%s)",
                static_cast<int>(enc->codec_id), ost.file_index, ost.index, KindName(ost.kind).c_str());
            throw FFmpegException(text, llError);
        }
        const AVCodecContext* dec = Finput_streams[ost.source_index].dec_ctx.get();
        if (dec && dec->subtitle_header && dec->subtitle_header_size > 0 && !enc->subtitle_header) {
            enc->subtitle_header = static_cast<uint8_t*>(ff::av_mallocz(dec->subtitle_header_size + 1));
            if (!enc->subtitle_header)
                throw FFmpegException("av_malloc failed", llError);
            std::copy(dec->subtitle_header, dec->subtitle_header + dec->subtitle_header_size,
                      enc->subtitle_header);
            enc->subtitle_header_size = dec->subtitle_header_size;
        }
        ost.codec_id = ost.enc->id;
        CheckResult(ff::avcodec_open2(enc, ost.enc, nullptr),
                    FormatText("Error while opening encoder for output stream #%d.%d (%s) - maybe incorrect "
                               "parameters such as bit_rate, rate, width or height. Please check error log "
                               "message to find out more detail information.",
                               ost.file_index, ost.index, KindName(ost.kind).c_str()),
                    llError);
        ost.encoder_opened = true;
        Fextra_size += enc->extradata_size;
        CheckResult(ff::avcodec_parameters_from_context(ost.st->codecpar, enc),
                    "Could not copy the codec parameters");
        // What the encoder declares of its stream (buffer size and rates, which program
        // stream muxers size their buffers by) goes to the container.
        for (int j = 0; j < enc->nb_coded_side_data; ++j)
            CopyStreamSideData(ost.st, enc->coded_side_data[j].type, enc->coded_side_data[j].data,
                               enc->coded_side_data[j].size);
        ost.st->time_base = enc->time_base;
        if (ost.kind == AVMEDIA_TYPE_VIDEO)
            ost.st->avg_frame_rate = enc->framerate;
    }
}

void TCustomFFmpeg::open_decoders() {
    for (TAVInputStream& ist : Finput_streams) {
        if (!ist.decoding_needed)
            continue;
        const AVCodecParameters* par = ist.st->codecpar;
        const AVCodec* codec = ist.dec ? ist.dec : ff::avcodec_find_decoder(par->codec_id);
        if (!codec) {
            const std::string text =
                FormatText("Decoder (codec id %d) not found for input stream #%d.%d (%s)",
                           static_cast<int>(par->codec_id), ist.file_index, ist.st->index,
                           KindName(par->codec_type).c_str());
            throw FFmpegException(text, llError);
        }
        ist.dec = codec;
        CheckResult(ff::avcodec_open2(ist.dec_ctx.get(), codec, nullptr),
                    FormatText("Error while opening decoder for input stream #%d.%d (%s)", ist.file_index,
                               ist.st->index, KindName(par->codec_type).c_str()),
                    llError);
        ist.decoder_opened = true;
    }
}

void TCustomFFmpeg::copy_metadata_and_chapters() {
    auto invalid = [](const char* AWhat, int AIndex) {
        throw FFmpegException(FormatText("Invalid %s index %d while processing metadata maps", AWhat, AIndex),
                              llError);
    };
    // The dictionary one end of a metadata map names.
    auto endDict = [&](const TAVMetaDataMap& AEnd, AVFormatContext* ACtx) -> AVDictionary** {
        switch (AEnd.type_) {
        case 's':
            if (AEnd.index < 0 || AEnd.index >= static_cast<int>(ACtx->nb_streams))
                invalid("stream", AEnd.index);
            return &ACtx->streams[AEnd.index]->metadata;
        case 'c':
            if (AEnd.index < 0 || AEnd.index >= static_cast<int>(ACtx->nb_chapters))
                invalid("chapter", AEnd.index);
            return &ACtx->chapters[AEnd.index]->metadata;
        case 'p':
            if (AEnd.index < 0 || AEnd.index >= static_cast<int>(ACtx->nb_programs))
                invalid("program", AEnd.index);
            return &ACtx->programs[AEnd.index]->metadata;
        default:
            return &ACtx->metadata;
        }
    };
    for (const TAVMetaDataMapPair& pair : FRun->meta_data_maps) {
        const TAVMetaDataMap& out = pair[0];
        const TAVMetaDataMap& in = pair[1];
        if (out.file_idx < 0 || in.file_idx < 0)
            continue;
        if (out.file_idx >= nb_output_files())
            invalid("output file", out.file_idx);
        if (in.file_idx >= nb_input_files())
            invalid("input file", in.file_idx);
        AVDictionary** dst = endDict(out, Foutput_files[out.file_idx].ctx.get());
        AVDictionary** src = endDict(in, Finput_files[in.file_idx].ctx.get());
        ff::av_dict_copy(dst, *src, AV_DICT_DONT_OVERWRITE);
    }

    // The slots of a joined output share one file: it is copied into once.
    const int outputs = FJoinMode ? 1 : nb_output_files();
    if (FRun->metadata_global_autocopy && nb_input_files() > 0)
        for (int o = 0; o < outputs; ++o)
            ff::av_dict_copy(&Foutput_files[o].ctx->metadata, Finput_files[0].ctx->metadata,
                             AV_DICT_DONT_OVERWRITE);

    for (const TAVChapterMap& map : FRun->chapter_maps) {
        if (map.in_file < 0 || map.out_file < 0)
            continue;
        if (map.in_file >= nb_input_files())
            throw FFmpegException(FormatText("Invalid input file index %d in chapter mapping.", map.in_file),
                                  llError);
        if (map.out_file >= nb_output_files())
            throw FFmpegException(
                FormatText("Invalid output file index %d in chapter mapping.", map.out_file), llError);
        copy_chapters(map.in_file, map.out_file);
    }
    if (FRun->chapter_maps.empty()) {
        for (int i = 0; i < nb_input_files(); ++i) {
            if (Finput_files[i].ctx->nb_chapters == 0)
                continue;
            for (int o = 0; o < outputs; ++o)
                copy_chapters(i, o);
            break;
        }
    }
}

void TCustomFFmpeg::copy_chapters(int AInputFile, int AOutputFile) {
    const AVFormatContext* is = Finput_files[AInputFile].ctx.get();
    AVFormatContext* os = Foutput_files[AOutputFile].ctx.get();
    const int64_t startOffset = FRun->start_time - Finput_files[AInputFile].ts_offset;
    for (unsigned i = 0; i < is->nb_chapters; ++i) {
        const AVChapter* in = is->chapters[i];
        const int64_t offset = ff::av_rescale_q(startOffset, MicrosecondBase, in->time_base);
        const int64_t limit = FRun->recording_time == INT64_MAX
                                  ? INT64_MAX
                                  : ff::av_rescale_q(FRun->recording_time, MicrosecondBase, in->time_base);
        if (in->end < offset)
            continue;
        if (limit != INT64_MAX && in->start > offset + limit)
            break;
        auto* out = static_cast<AVChapter*>(ff::av_mallocz(sizeof(AVChapter)));
        if (!out)
            throw FFmpegException("av_mallocz fail");
        out->id = in->id;
        out->time_base = in->time_base;
        out->start = std::max<int64_t>(0, in->start - offset);
        out->end = std::min(limit, in->end - offset);
        if (FRun->metadata_chapters_autocopy)
            ff::av_dict_copy(&out->metadata, in->metadata, 0);
        int count = static_cast<int>(os->nb_chapters);
        if (ff::av_dynarray_add_nofree(&os->chapters, &count, out) < 0) {
            ff::av_dict_free(&out->metadata);
            ff::av_free(out);
            throw FFmpegException("av_realloc fail");
        }
        os->nb_chapters = static_cast<unsigned>(count);
    }
}

void TCustomFFmpeg::write_headers() {
    const size_t count = FJoinMode ? std::min<size_t>(1, Foutput_files.size()) : Foutput_files.size();
    // Bitstream filters see the stream's final parameters; what the last one gives is
    // what the container declares.
    for (TAVOutputStream* ost : Frun_streams) {
        AVCodecParameters* par = ost->st->codecpar;
        // A joined output's later slots share the stream, whose parameters the first
        // slot's chain has already replaced: they start from what that chain started from.
        const TAVOutputStream* first =
            FJoinMode && ost->file_index > 0 ? Foutput_files[0].streams[ost->index].get() : nullptr;
        const AVCodecParameters* previous =
            first && !first->bitstream_filters.empty() ? first->bitstream_filters[0]->par_in : par;
        AVRational tb = ost->st->time_base;
        for (TBSFContextPtr& bsf : ost->bitstream_filters) {
            CheckResult(ff::avcodec_parameters_copy(bsf->par_in, previous),
                        "Could not copy the codec parameters");
            bsf->time_base_in = tb;
            CheckResult(ff::av_bsf_init(bsf.get()),
                        FormatText("Error initializing bitstream filter: %s", bsf->filter->name));
            previous = bsf->par_out;
            tb = bsf->time_base_out;
        }
        if (previous != par && (!FJoinMode || ost->file_index == 0))
            CheckResult(ff::avcodec_parameters_copy(par, previous), "Could not copy the codec parameters");
    }
    for (size_t i = 0; i < count; ++i) {
        TAVOutputFile& file = Foutput_files[i];
        const int ret = ff::avformat_write_header(file.ctx.get(), nullptr);
        if (ret < 0) {
            dump_mapping();
            CheckResult(
                ret,
                FormatText("Could not write header for output file #%d (incorrect codec parameters ?)",
                           static_cast<int>(i)),
                llError);
        }
        file.header_written = true;
    }

    bool allRtp = !Foutput_files.empty();
    for (size_t i = 0; i < count; ++i)
        allRtp &= std::string(Foutput_files[i].ctx->oformat->name) == "rtp";
    if (allRtp) {
        std::vector<AVFormatContext*> contexts;
        for (size_t i = 0; i < count; ++i)
            contexts.push_back(Foutput_files[i].ctx.get());
        char sdp[2048] = {};
        ff::av_sdp_create(contexts.data(), static_cast<int>(contexts.size()), sdp, sizeof(sdp));
        std::string text(sdp);
        while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
            text.pop_back();
        GetLogger().Log(this, llInfo, "SDP:\r\n" + text);
    }
}

void TCustomFFmpeg::dump_mapping() {
    const size_t count = FJoinMode ? std::min<size_t>(1, Foutput_files.size()) : Foutput_files.size();
    for (size_t i = 0; i < count; ++i)
        ff::av_dump_format(Foutput_files[i].ctx.get(), static_cast<int>(i),
                           Foutput_files[i].file_name.c_str(), 1);
    if (FRun->verbose < 0)
        return;
    GetLogger().Log(this, llVerbose, "Stream mapping:");
    for (const TAVOutputStream* ost : Frun_streams) {
        if (ost->source_index < 0)
            continue;
        const TAVInputStream& ist = Finput_streams[ost->source_index];
        std::string line =
            FormatText("  Stream #%d.%d -> #%d.%d (%s)", ist.file_index, ist.st->index,
                       FJoinMode ? 0 : ost->file_index, ost->index, KindName(ost->kind).c_str());
        if (ost->sync_ist && ost->sync_ist != &ist)
            line += FormatText(" [sync #%d.%d (%s)]", ost->sync_ist->file_index, ost->sync_ist->st->index,
                               KindName(ost->sync_ist->st->codecpar->codec_type).c_str());
        GetLogger().Log(this, llVerbose, line);
    }
}

void TCustomFFmpeg::reopen_encoders(int AFinished) {
    // A drained encoder of this library generation cannot take frames again, and a new
    // one would start over with its own delay (priming samples, reordered pictures),
    // which would take the joined stream's timestamps back. So the open encoder goes on
    // in the next slot, with what it still needs: the samples short of a frame, the
    // pass-1 file and the pass-2 statistics.
    const int slot = Fslot_stream_count;
    for (int s = 0; s < slot; ++s) {
        const size_t from = static_cast<size_t>(AFinished) * slot + s;
        const size_t to = from + slot;
        if (to >= Frun_streams.size())
            return;
        TAVOutputStream& a = *Frun_streams[from];
        TAVOutputStream& b = *Frun_streams[to];
        if (!a.encoding_needed || !a.enc_ctx)
            continue;
        std::swap(a.enc_ctx, b.enc_ctx);
        std::swap(a.fifo, b.fifo);
        std::swap(a.logfile, b.logfile);
        std::swap(a.stats_in, b.stats_in);
        b.codec_id = a.codec_id;
        b.forced_kf_index = a.forced_kf_index;
        b.audio_pts = a.audio_pts; // the encoder's timeline goes on without a step
        b.encoder_opened = std::exchange(a.encoder_opened, false);
    }
}

void TCustomFFmpeg::close_codecs() {
    for (TAVOutputStream* ost : Frun_streams) {
        if (ost->encoding_needed && ost->enc_ctx && ost->encoder_opened) {
            ost->encoder_opened = false;
            ost->enc_ctx->stats_in = nullptr;
            ost->enc_ctx.reset();
        }
        ost->graph.reset();
    }
    for (TAVInputStream& ist : Finput_streams) {
        if (!ist.decoding_needed || !ist.decoder_opened)
            continue;
        ist.decoder_opened = false;
        ist.dec_ctx.reset();
    }
}

void TCustomFFmpeg::transcode_cleanup() {
    Finput_waiting.clear();
    Fnb_input_waiting = 0;
    close_open_codecs();
    for (TAVOutputStream* ost : Frun_streams) {
        ost->logfile.reset();
        ost->fifo.reset();
        ost->resample_frame.reset();
        ost->img_resample_ctx.reset();
        ost->resample.reset();
        ost->graph.reset();
        ost->forced_kf_pts.clear();
    }
    Frun_streams.clear();
}

} // namespace vx
