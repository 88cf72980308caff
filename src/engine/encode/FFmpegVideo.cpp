// The video path: what a decoded picture goes through before it becomes an encoded
// packet. Pre-processing right after decoding (frame count, deinterlacing, the input
// frame and video hooks), the optional filter graph, frame-rate conversion by
// duplicating and dropping pictures, scaling to the encoder's size and format, the
// output video and frame hooks, the preview window or preview bitmaps, encoding and
// writing, and the per-frame statistics file.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>

#include "base/FFLog.h"
#include "base/SteadyClock.h"
#include "decode/FFUtils.h"
#include "encode/FFmpeg.h"

namespace vx {

namespace {

constexpr AVRational MicrosecondBase{1, AV_TIME_BASE};
// The longest time (µs) one picture is repeated for, unless the source is longer.
constexpr int64_t VideoHoldLimit = 60 * int64_t(AV_TIME_BASE);
// Room (µs) past the source's probed length, at least, before pictures are cut.
constexpr int64_t VideoEndMargin = 10 * int64_t(AV_TIME_BASE);

const char* PixelFormatName(int AFormat) {
    const char* name = AFormat >= 0 ? ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(AFormat)) : nullptr;
    return name ? name : "none";
}

TPicture PictureOf(const AVFrame* AFrame) {
    TPicture picture;
    for (int i = 0; i < 4; ++i) {
        picture.Data[i] = AFrame->data[i];
        picture.Linesize[i] = AFrame->linesize[i];
    }
    return picture;
}

// The output stream's filter chain for pictures of the given geometry: an optional
// "scale" to the encoder's size, then the filter text, ending in the encoder's pixel
// format. Returns 0 or a negative code, with AError saying where.
int BuildVideoGraph(void* ASender, TAVOutputStream& AOst, int AWidth, int AHeight, int APixFmt,
                    AVRational ASar, std::string& AError) {
    const AVCodecContext* enc = AOst.enc_ctx.get();
    std::string scale;
    if (enc->width > 0 && enc->height > 0 && (enc->width != AWidth || enc->height != AHeight)) {
        char args[96];
        std::snprintf(args, sizeof(args), "scale=%d:%d:sws_flags=%d", enc->width, enc->height,
                      AOst.sws_flags);
        scale = args;
    }
    TVideoGeometry input;
    input.Width = AWidth;
    input.Height = AHeight;
    input.PixFmt = APixFmt;
    input.Sar = ASar;
    input.TimeBase = MicrosecondBase;
    auto chain = std::make_unique<TVideoFilterChain>();
    const int ret = chain->Build(ASender, input, scale, AOst.avfilter, enc->pix_fmt,
                                 static_cast<unsigned>(AOst.sws_flags), AError);
    if (ret < 0)
        return ret;
    AOst.graph = std::move(chain);
    AOst.graph_width = AWidth;
    AOst.graph_height = AHeight;
    AOst.graph_pix_fmt = APixFmt;
    AOst.graph_flushed = false;
    return 0;
}

// Logs a change of the pictures' size or format against the last ones seen; true when
// there was one.
bool NotePictureGeometry(void* ASender, const TAVInputStream& AIst, TAVOutputStream& AOst,
                         const AVFrame* APicture) {
    if (APicture->width == AOst.resample_width && APicture->height == AOst.resample_height &&
        APicture->format == AOst.resample_pix_fmt)
        return false;
    // The first picture only tells what the set-up could not know yet.
    if (AOst.resample_width > 0 && AOst.resample_height > 0 && AOst.resample_pix_fmt >= 0)
        GetLogger().LogF(ASender, llInfo,
                         "Input stream #%d.%d frame changed from size:%dx%d fmt:%s to size:%dx%d fmt:%s",
                         AIst.file_index, AIst.st ? AIst.st->index : 0, AOst.resample_width,
                         AOst.resample_height, PixelFormatName(AOst.resample_pix_fmt), APicture->width,
                         APicture->height, PixelFormatName(APicture->format));
    AOst.resample_width = APicture->width;
    AOst.resample_height = APicture->height;
    AOst.resample_pix_fmt = APicture->format;
    return true;
}

} // namespace

void TCustomFFmpeg::pre_process_video_frame(TAVInputStream& AIst, AVFrame* APicture) {
    ++AIst.frame_number;
    const int64_t pts = AIst.pts;
    if (!FRun->do_deinterlace && !OnFrameInputHook && !OnVideoInputHook && !FRun->using_vhook)
        return;

    // A picture that is changed needs a copy of its own: the decoder may still refer to
    // the decoded one as a reference for the pictures that follow.
    bool copied = false;
    if (FRun->do_deinterlace) {
        copied = AIst.deinterlacer.Run(APicture) >= 0;
        if (!copied)
            GetLogger().Log(this, llError, "Deinterlacing failed.");
    }
    if (!copied && (OnFrameInputHook || OnVideoInputHook || FRun->using_vhook) &&
        ff::av_frame_make_writable(APicture) < 0) {
        GetLogger().Log(this, llError, "hook buf malloc error.");
        return;
    }

    if (OnFrameInputHook) {
        TPicture picture = PictureOf(APicture);
        OnFrameInputHook(this, &picture, APicture->format, AIst.frame_number, APicture->width,
                         APicture->height, pts);
    }
    if (OnVideoInputHook) {
        TPicture picture = PictureOf(APicture);
        run_video_hook(FInputVideoHook, OnVideoInputHook, picture, APicture->format, APicture->width,
                       APicture->height, AIst.frame_number, pts);
    }
    if (FRun->using_vhook)
        FFrameHooks.Process(APicture, pts);
}

bool TCustomFFmpeg::run_video_hook(TFormatConverter& AConverter, TVideoHookEvent& AHook, TPicture& APicture,
                                   int APixFmt, int AWidth, int AHeight, int32_t AFrameNumber, int64_t APTS) {
    if (!AConverter.PictureToRGB(APicture, APixFmt, true, AHeight, AWidth)) {
        GetLogger().Log(this, llError, AConverter.LastErrMsg());
        AHook = nullptr;
        return false;
    }
    bool update = true;
    bool stopHook = false;
    try {
        AHook(this, &AConverter.Bitmap(), AFrameNumber, APTS, update, stopHook);
    } catch (const std::exception& e) {
        GetLogger().Log(this, llError, std::string("Error occurs VideoHook event: ") + e.what());
        update = false;
    } catch (...) {
        GetLogger().Log(this, llError, "Error occurs VideoHook event: unknown exception");
        update = false;
    }
    // Not written back, the bitmap holds whatever the handler drew on it.
    bool current = update;
    if (update) {
        AConverter.BitmapToRGB();
        // A picture used as it was already holds the edits.
        if (AConverter.RGBPictureRef() == AConverter.RGBPicture() &&
            !AConverter.RGBToPicture(APicture, APixFmt, AHeight, AWidth)) {
            GetLogger().Log(this, llError, AConverter.LastErrMsg());
            stopHook = true;
            current = false;
        }
    }
    if (stopHook)
        AHook = nullptr;
    return current;
}

bool TCustomFFmpeg::run_output_hooks(AVFrame* AFrame, int32_t AFrameNumber, int64_t APTS) {
    if (!OnVideoOutputHook && !OnFrameOutputHook)
        return false;
    // The handlers change the picture: each copy of it gets its own buffer.
    if (ff::av_frame_make_writable(AFrame) < 0) {
        GetLogger().Log(this, llError, "hook buf malloc error.");
        return false;
    }
    TPicture picture = PictureOf(AFrame);
    bool current = false;
    if (OnVideoOutputHook)
        current = run_video_hook(FOutputVideoHook.Converter, OnVideoOutputHook, picture, AFrame->format,
                                 AFrame->width, AFrame->height, AFrameNumber, APTS);
    if (OnFrameOutputHook) {
        OnFrameOutputHook(this, &picture, AFrame->format, AFrameNumber, AFrame->width, AFrame->height, APTS);
        current = false;
    }
    return current;
}

void TCustomFFmpeg::run_post_hooks(const AVFrame* AFrame, int32_t AFrameNumber, int64_t APTS,
                                   bool ABitmapCurrent) {
    bool preview, bitmap, changed;
    {
        std::lock_guard lock(PostHookLock());
        preview = FPreviewHook;
        bitmap = FPreviewBitmapHook;
        changed = FHookChanged;
        FHookChanged = false;
    }
    TPostHookContext& hook = FOutputVideoHook;
    // The window closes when its hook is switched off.
    if (!preview)
        hook.Previewer.reset();
    const bool toBitmap = bitmap && OnPreviewBitmap;
    if (!toBitmap && !preview)
        return;
    const int64_t now = SteadyMicroseconds();
    if (now - hook.preview_last_time <= PreviewInterval())
        return;
    hook.preview_last_time = now;

    // The hooks take the picture as the encoder gets it.
    const TPicture picture = PictureOf(AFrame);
    const bool converted =
        (ABitmapCurrent && !changed) ||
        hook.Converter.PictureToRGB(picture, AFrame->format, true, AFrame->height, AFrame->width);
    if (!converted)
        GetLogger().Log(this, llError, hook.Converter.LastErrMsg());
    if (toBitmap) {
        if (converted)
            OnPreviewBitmap(this, &hook.Converter.Bitmap(), AFrameNumber, APTS);
        else
            bitmap = false;
    } else {
        if (converted && !hook.Previewer)
            hook.Previewer = std::make_unique<TPreviewer>();
        if (!converted || !hook.Previewer->PaintFrame(&hook.Converter.Bitmap(), AFrameNumber, APTS)) {
            preview = false;
            hook.Previewer.reset();
        }
    }
    // A hook switched off here stays off, unless the owner set the hooks meanwhile.
    std::lock_guard lock(PostHookLock());
    if (!FHookChanged) {
        FPreviewHook = preview;
        FPreviewBitmapHook = bitmap;
    }
}

int TCustomFFmpeg::configure_video_filters(TAVInputStream& AIst, TAVOutputStream& AOst) {
    const AVCodecContext* dec = AIst.dec_ctx.get();
    const AVCodecParameters* par = AIst.st ? AIst.st->codecpar : nullptr;
    if (!dec && !par)
        return AVERROR(EINVAL);
    const int width = dec && dec->width > 0 ? dec->width : par ? par->width : 0;
    const int height = dec && dec->height > 0 ? dec->height : par ? par->height : 0;
    const int pixFmt = dec && dec->pix_fmt != AV_PIX_FMT_NONE ? dec->pix_fmt
                       : par                                  ? par->format
                                                              : AV_PIX_FMT_NONE;
    AVRational sar = AIst.st && AIst.st->sample_aspect_ratio.num != 0 ? AIst.st->sample_aspect_ratio
                     : dec                                            ? dec->sample_aspect_ratio
                                                                      : par->sample_aspect_ratio;
    const int ret = BuildVideoGraph(this, AOst, width, height, pixFmt, sar, FLastErrMsg);
    if (ret < 0)
        return ret;

    AVCodecContext* enc = AOst.enc_ctx.get();
    const TVideoGeometry& out = AOst.graph->Output();
    enc->width = out.Width;
    enc->height = out.Height;
    if (AOst.frame_aspect_ratio != 0 && enc->width > 0)
        enc->sample_aspect_ratio =
            ff::av_d2q(double(AOst.frame_aspect_ratio) * enc->height / enc->width, 255);
    else
        enc->sample_aspect_ratio = out.Sar;
    if (AOst.st)
        AOst.st->sample_aspect_ratio = enc->sample_aspect_ratio;
    return 0;
}

void TCustomFFmpeg::process_video_frame(TAVOutputFile& AFile, TAVOutputStream& AOst, TAVInputStream& AIst,
                                        AVFrame* APicture) {
    if (!AOst.graph) {
        if (APicture)
            do_video_out(AFile, AOst, AIst, APicture);
        return;
    }
    AVCodecContext* enc = AOst.enc_ctx.get();
    if (APicture) {
        // Pictures of a new size or format, or after the end of a joined input, need a
        // graph of their own; the encoder keeps its size (the scaler below adapts).
        NotePictureGeometry(this, AIst, AOst, APicture);
        if (AOst.graph_flushed || APicture->width != AOst.graph_width ||
            APicture->height != AOst.graph_height || APicture->format != AOst.graph_pix_fmt) {
            AVRational sar = APicture->sample_aspect_ratio;
            if (sar.num == 0 && AIst.st)
                sar = AIst.st->sample_aspect_ratio;
            std::string error;
            if (BuildVideoGraph(this, AOst, APicture->width, APicture->height, APicture->format, sar, error) <
                0)
                throw FFmpegException(error.empty() ? "Error opening filters!"
                                                    : "Error opening filters: " + error);
        }
        TFramePtr in(ff::av_frame_clone(APicture));
        if (!in)
            throw FFmpegException("Out of memory");
        in->pts = AIst.pts;
        if (in->sample_aspect_ratio.num == 0 && AIst.st)
            in->sample_aspect_ratio = AIst.st->sample_aspect_ratio;
        std::string error;
        if (AOst.graph->Send(in.get(), error) < 0)
            throw FFmpegException("Error while filtering: " + error);
    } else {
        // End of the stream: what the filters still hold comes out now.
        if (AOst.graph_flushed)
            return;
        AOst.graph_flushed = true;
        std::string error;
        if (AOst.graph->Send(nullptr, error) < 0)
            GetLogger().Log(this, llError, "Error while filtering: " + error);
    }

    TFramePtr filtered;
    while (AOst.graph->Receive(filtered) == 0) {
        const AVRational sinkBase = AOst.graph->Output().TimeBase;
        if (filtered->pts != AV_NOPTS_VALUE)
            AIst.pts = ff::av_rescale_q(filtered->pts, sinkBase, MicrosecondBase);
        if (AOst.frame_aspect_ratio == 0 && filtered->sample_aspect_ratio.num != 0)
            enc->sample_aspect_ratio = filtered->sample_aspect_ratio;
        do_video_out(AFile, AOst, AIst, filtered.get());
    }
}

int TCustomFFmpeg::do_video_out(TAVOutputFile& AFile, TAVOutputStream& AOst, TAVInputStream& AIst,
                                AVFrame* APicture) {
    AVCodecContext* enc = AOst.enc_ctx.get();
    if (enc->time_base.num <= 0 || enc->time_base.den <= 0)
        throw FFmpegException("Video encoding failed");

    // 1. and 2. How many times this picture is encoded: 0 drops it, more than 1
    // duplicates it, so that the output keeps its frame rate in step with the input.
    const TAVInputStream& syncIst = AOst.sync_ist ? *AOst.sync_ist : AIst;
    const double syncIpts = double(syncIst.pts - FRun->start_time) / AV_TIME_BASE / av_q2d(enc->time_base);
    int64_t n = 1;
    if (FRun->video_sync_method != 0) {
        const double vdelta = syncIpts - double(AOst.sync_opts);
        const bool variableRate =
            FRun->video_sync_method == 2 ||
            (FRun->video_sync_method < 0 && AFile.ctx && (AFile.ctx->oformat->flags & AVFMT_VARIABLE_FPS));
        if (vdelta < -1.1) {
            n = 0;
        } else if (variableRate) {
            if (vdelta <= -0.6)
                n = 0;
            else if (vdelta > 0.6)
                AOst.sync_opts = std::llrint(syncIpts);
        } else if (vdelta > 1.1) {
            n = std::llrint(std::min(vdelta, 1e15));
        }
        n = std::min(n, video_copies_allowed(AOst));
        if (n == 0) {
            ++Fnb_frames_drop;
            FShowDupOrDrop = true;
            if (FRun->verbose > 2)
                GetLogger().Log(this, llVerbose, "*** drop!");
        } else if (n > 1) {
            Fnb_frames_dup +=
                static_cast<int32_t>(std::min<int64_t>(n - 1, std::numeric_limits<int32_t>::max()));
            FShowDupOrDrop = true;
            if (FRun->verbose > 2)
                GetLogger().LogF(this, llVerbose, "*** %d dup!", static_cast<int>(n - 1));
        }
    } else {
        AOst.sync_opts = std::llrint(syncIpts);
    }
    // The picture stands in for the time up to the end of the stream, if it is the last.
    if (!AOst.last_picture)
        AOst.last_picture.reset(ff::av_frame_alloc());
    if (AOst.last_picture) {
        ff::av_frame_unref(AOst.last_picture.get());
        if (ff::av_frame_ref(AOst.last_picture.get(), APicture) < 0)
            AOst.last_picture.reset();
    }
    return write_video_frame(AFile, AOst, AIst, APicture, n);
}

int64_t TCustomFFmpeg::video_copies_allowed(const TAVOutputStream& AOst) const {
    // One picture fills at most a minute, or the whole of a longer source; and nothing
    // goes past the end of the source's probed length, with some room.
    const double tick = av_q2d(AOst.enc_ctx->time_base);
    const int64_t hold = std::max<int64_t>(VideoHoldLimit, FTotalOutputDuration);
    int64_t allowed = std::llrint(hold / 1000000.0 / tick);
    if (FTotalOutputDuration > 0) {
        const int64_t end =
            FTotalOutputDuration + std::max<int64_t>(VideoEndMargin, FTotalOutputDuration / 10);
        allowed = std::min<int64_t>(allowed, std::llrint(end / 1000000.0 / tick) - AOst.sync_opts);
    }
    return std::max<int64_t>(allowed, 0);
}

void TCustomFFmpeg::fill_video_to_end(TAVOutputFile& AFile, TAVOutputStream& AOst) {
    const TAVInputStream* ist = AOst.sync_ist;
    if (!AOst.last_picture || !AOst.last_picture->buf[0] || !ist || ist->next_pts == AV_NOPTS_VALUE ||
        FRun->video_sync_method == 0)
        return;
    AVCodecContext* enc = AOst.enc_ctx.get();
    int64_t end = ist->next_pts - FRun->start_time;
    if (FRun->recording_time != INT64_MAX)
        end = std::min(end, FRun->recording_time);
    const int64_t target = std::llrint(end / 1000000.0 / av_q2d(enc->time_base));
    if (target <= AOst.sync_opts)
        return;
    const bool variableRate =
        FRun->video_sync_method == 2 ||
        (FRun->video_sync_method < 0 && AFile.ctx && (AFile.ctx->oformat->flags & AVFMT_VARIABLE_FPS));
    int64_t n = target - AOst.sync_opts;
    if (variableRate && n > 1) {
        // One more picture, shown until the end.
        AOst.sync_opts = target - 1;
        n = 1;
    }
    n = std::min(n, video_copies_allowed(AOst));
    if (n > 1) {
        Fnb_frames_dup += static_cast<int32_t>(std::min<int64_t>(n - 1, std::numeric_limits<int32_t>::max()));
        FShowDupOrDrop = true;
    }
    TFramePtr picture(std::move(AOst.last_picture));
    write_video_frame(AFile, AOst, *AOst.sync_ist, picture.get(), n);
}

int TCustomFFmpeg::write_video_frame(TAVOutputFile& AFile, TAVOutputStream& AOst, TAVInputStream& AIst,
                                     AVFrame* APicture, int64_t ACount) {
    AVCodecContext* enc = AOst.enc_ctx.get();
    const int64_t n =
        std::min<int64_t>(ACount, int64_t(FRun->max_frames[AVMEDIA_TYPE_VIDEO]) - AOst.frame_number);
    if (n <= 0)
        return 0;

    // 3. Scaling to the encoder's size and pixel format. Pictures out of a filter
    // graph already have them; a decoded picture is watched for changes of its own.
    if (!AOst.graph)
        NotePictureGeometry(this, AIst, AOst, APicture);
    AVFrame* source = APicture;
    AOst.video_resample =
        APicture->width != enc->width || APicture->height != enc->height || APicture->format != enc->pix_fmt;
    if (AOst.video_resample) {
        if (!AOst.img_resample_ctx || AOst.sws_src_width != APicture->width ||
            AOst.sws_src_height != APicture->height || AOst.sws_src_pix_fmt != APicture->format) {
            AOst.img_resample_ctx.reset(ff::sws_getContext(
                APicture->width, APicture->height, static_cast<AVPixelFormat>(APicture->format), enc->width,
                enc->height, enc->pix_fmt, AOst.sws_flags, nullptr, nullptr, nullptr));
            if (!AOst.img_resample_ctx)
                throw FFmpegException("Cannot get resampling context");
            AOst.sws_src_width = APicture->width;
            AOst.sws_src_height = APicture->height;
            AOst.sws_src_pix_fmt = APicture->format;
        }
        if (!AOst.resample_frame) {
            AOst.resample_frame.reset(ff::av_frame_alloc());
            if (!AOst.resample_frame)
                throw FFmpegException("Cannot allocate temp picture, check pix fmt");
        }
        // While the encoder still holds the last scaled picture, scale into a new buffer
        // rather than over it (and rather than copying it first: it is overwritten whole).
        AVFrame* scaled = AOst.resample_frame.get();
        if (!scaled->buf[0] || !ff::av_frame_is_writable(scaled)) {
            ff::av_frame_unref(scaled);
            scaled->format = enc->pix_fmt;
            scaled->width = enc->width;
            scaled->height = enc->height;
            if (ff::av_frame_get_buffer(scaled, 0) < 0)
                throw FFmpegException("Cannot allocate temp picture, check pix fmt");
        }
        CheckResult(ff::sws_scale(AOst.img_resample_ctx.get(), APicture->data, APicture->linesize, 0,
                                  APicture->height, AOst.resample_frame->data, AOst.resample_frame->linesize),
                    "Could not scale the picture");
        AOst.resample_frame->interlaced_frame = APicture->interlaced_frame;
        AOst.resample_frame->top_field_first = APicture->top_field_first;
        AOst.resample_frame->sample_aspect_ratio = enc->sample_aspect_ratio;
        source = AOst.resample_frame.get();
    }

    // 4. Encode the picture n times, unless the job is stopped meanwhile.
    if (!AOst.enc_frame) {
        AOst.enc_frame.reset(ff::av_frame_alloc());
        if (!AOst.enc_frame)
            throw FFmpegException("Video encoding failed");
    }
    AVFrame* frame = AOst.enc_frame.get();
    int size = 0;
    for (int64_t i = 0; i < n && !Broken(); ++i) {
        // A long run of copies still tells how far the job has come.
        if (i > 0 && SteadyMicroseconds() - FLastReport > ReportInterval())
            print_report(false, FCurrentInput);
        ff::av_frame_unref(frame);
        if (ff::av_frame_ref(frame, source) < 0)
            throw FFmpegException("Video encoding failed");
        frame->interlaced_frame = APicture->interlaced_frame;
        if (enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME))
            frame->top_field_first =
                FRun->top_field_first == -1 ? APicture->top_field_first : FRun->top_field_first;
        frame->quality =
            FRun->same_quality ? static_cast<int>(std::lrint(AIst.quality)) : enc->global_quality;
        // The decoder's picture type would force the encoder's hand.
        if (FRun->me_threshold == 0)
            frame->pict_type = AV_PICTURE_TYPE_NONE;
        frame->pts = AOst.sync_opts;
        if (AOst.forced_kf_index < static_cast<int32_t>(AOst.forced_kf_pts.size()) &&
            frame->pts >= AOst.forced_kf_pts[AOst.forced_kf_index]) {
            frame->pict_type = AV_PICTURE_TYPE_I;
            ++AOst.forced_kf_index;
        }
        const int32_t hookFrame = AOst.frame_number + 1;
        const int64_t hookPts = ff::av_rescale_q(AOst.sync_opts, enc->time_base, MicrosecondBase);
        const bool bitmapCurrent = run_output_hooks(frame, hookFrame, hookPts);
        run_post_hooks(frame, hookFrame, hookPts, bitmapCurrent);
        size = encode_on_stage(AFile, AOst,
                               [this, &AOst, picture = ShareFrame(frame)](const TPacketSink& ASink) {
                                   encode_frame(AOst, picture.get(), "Video encoding failed", ASink);
                               });
        ff::av_frame_unref(frame);
        ++AOst.sync_opts;
        ++AOst.frame_number;
    }

    // The statistics file: one line per call that wrote a frame.
    if (FRun->vstats_filename && size > 0) {
        if (!Fvstats_file) {
            Fvstats_file.reset(std::fopen(FRun->vstats_filename->c_str(), "w"));
            if (!Fvstats_file)
                throw FFmpegException("fopen fail: " + *FRun->vstats_filename);
        }
        std::FILE* f = Fvstats_file.get();
        std::fprintf(f, "frame= %5d q= %2.1f ", AOst.frame_number,
                     AOst.coded_quality < 0 ? -1.0 : AOst.coded_quality / double(FF_QP2LAMBDA));
        if (enc->flags & AV_CODEC_FLAG_PSNR)
            std::fprintf(f, "PSNR= %6.2f ",
                         -10.0 * std::log10(double(AOst.coded_error[0]) /
                                            (double(enc->width) * enc->height * 255.0 * 255.0)));
        std::fprintf(f, "f_size= %6d ", size);
        double seconds = double(AOst.sync_opts) * av_q2d(enc->time_base);
        if (seconds < 0.01)
            seconds = 0.01;
        const double bitRate = size * 8 / av_q2d(enc->time_base) / 1000.0;
        const double averageRate = double(Fvideo_size) * 8 / seconds / 1000.0;
        std::fprintf(f, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                     double(Fvideo_size) / 1024, seconds, bitRate, averageRate);
        std::fprintf(f, "type= %c\n",
                     ff::av_get_picture_type_char(static_cast<AVPictureType>(AOst.coded_pict_type)));
    }
    return size;
}

void TCustomFFmpeg::flush_video_out(TAVOutputFile& AFile, TAVOutputStream& AOst) {
    if (!AOst.encoding_needed || !AOst.enc_ctx)
        return;
    if (AOst.graph && !AOst.graph_flushed) {
        TAVInputStream* ist =
            AOst.source_index >= 0 && AOst.source_index < static_cast<int>(Finput_streams.size())
                ? &Finput_streams[AOst.source_index]
                : AOst.sync_ist;
        if (ist)
            process_video_frame(AFile, AOst, *ist, nullptr);
    }
    fill_video_to_end(AFile, AOst);
    encode_on_stage(AFile, AOst, [this, &AOst](const TPacketSink& ASink) {
        encode_frame(AOst, nullptr, "Video encoding failed", ASink);
    });
}

} // namespace vx
