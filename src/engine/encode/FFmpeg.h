// One transcoding job: its inputs and outputs, its options and the run that converts
// them, on a worker thread of its own or on the caller's thread.
//
// The class is implemented in several files, one per concern:
//   FFmpegOptionTable.cpp  the options and their state (the base TFFmpegOptions)
//   FFmpeg.cpp             creation, StartConvert, Stop, Pause, Resume, termination
//   FFmpegFiles.cpp        opening inputs and outputs, creating output streams, the join
//                          slots, the file clean-up
//   FFmpegSetup.cpp        the set-up of a run: stream choice, codec parameters, opening
//                          the codecs, metadata, chapters, headers; and its teardown
//   FFmpegLoop.cpp         the run: packet loop, decoding, stream copy, progress report
//   FFmpegOutput.cpp       encoding a frame and writing packets, on the run's thread or
//                          on the stage threads (StagePipeline.h)
//   FFmpegAudio.cpp        the audio path
//   FFmpegVideo.cpp        the video path
// Each concern keeps its members in its own section of this header; the per-file and
// per-stream records are in FFmpegStreams.h.
//
// Threads: options and files are set up on the owner's thread before StartConvert; the
// run then owns every file and stream until it terminates, and reads the options' run
// flags from the copy StartConvert took. While the run has stage threads (FPipeline), the
// audio stage owns the audio output streams' encoders and audio state (and is_start of
// their inputs) and the video stage the video encoders; the run's thread keeps the rest,
// the muxers among it. Stop, Pause and Resume come from the owner's thread at any time.
// Shared fields name the lock that guards them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/FormatIO.h"
#include "base/InterruptCB.h"
#include "base/PartFiles.h"
#include "base/SteadyClock.h"
#include "base/UnicodeProtocol.h"
#include "decode/FormatConverter.h"
#include "decode/Previewer.h"
#include "encode/FFEncodeRecords.h"
#include "encode/FFmpegException.h"
#include "encode/FFmpegOptions.h"
#include "encode/FFmpegStreams.h"
#include "encode/StagePipeline.h"
#include "encode/filters/FrameHooks.h"

namespace vx {

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Largest number of input (and of output) files a job may be created for.
inline constexpr int MaxFilesLimit = 512;

// Closes the byte stream of an output context (unless its format writes no file) and
// frees the context. The clean-up closes explicitly to see errors; this is the backstop.
// The further slots of a joined output refer to the first slot's context without owning
// it (Owner false).
struct TOutputContextFree {
    bool Owner = true;
    void operator()(AVFormatContext* ACtx) const;
};
using TOutputContextPtr = std::unique_ptr<AVFormatContext, TOutputContextFree>;

// Registers an interrupt check for the calling thread for the object's lifetime.
class TInterruptRegistration {
public:
    TInterruptRegistration(void* ASender, TInterruptProc AProc);
    ~TInterruptRegistration();
    TInterruptRegistration(const TInterruptRegistration&) = delete;
    TInterruptRegistration& operator=(const TInterruptRegistration&) = delete;

private:
    uint32_t FThreadID;
    void* FSender;
    TInterruptProc FProc;
};

struct TAVOutputFile {
    TOutputContextPtr ctx;
    std::string file_name; // UTF-8
    bool io_open = false;  // the byte stream still needs closing
    // A local output is written into a hidden part file in its folder (PartFiles.h) and gets
    // its name when the run ends; empty when the output is written directly (a device, a
    // stream of another protocol).
    TPartFile part;
    std::string local_path;     // the local path of file_name, when part is set
    bool keep_existing = false; // at the end, an existing file keeps its name (Fkeep_existing)
    std::vector<std::unique_ptr<TAVOutputStream>> streams;
    bool header_written = false;
    int64_t packets_written = 0;
    bool discard = false; // holds no media after a stop: removed when the run ends
};

class TCustomFFmpeg : public TFFmpegOptions {
public:
    // Callbacks of the job; the encoder installs its routers here.
    using TProgressEvent = std::function<void(
        TCustomFFmpeg* Sender, int32_t AFileIndex, int32_t AFrameNumber, int32_t AFPS, float AQuality,
        float ABitRate, int64_t ACurrentSize, int64_t ACurrentDuration, int64_t ATotalDuration)>;
    using TTerminateEvent = std::function<void(TCustomFFmpeg* Sender)>;
    using TBeforeFindStreamInfoEvent = std::function<void(TCustomFFmpeg* Sender, AVFormatContext* AContext)>;
    using TPreviewBitmapEvent =
        std::function<void(TCustomFFmpeg* Sender, TBitmap* ABitmap, int32_t AFrameNumber, int64_t APTS)>;
    using TVideoHookEvent = std::function<void(TCustomFFmpeg* Sender, TBitmap* ABitmap, int32_t AFrameNumber,
                                               int64_t APTS, bool& AUpdate, bool& AStopHook)>;
    using TFrameHookEvent =
        std::function<void(TCustomFFmpeg* Sender, TPicture* APicture, int32_t APixFmt, int32_t AFrameNumber,
                           int32_t AWidth, int32_t AHeight, int64_t APTS)>;
    using TAudioHookEvent =
        std::function<void(TCustomFFmpeg* Sender, int64_t APTS, void* ASample, int32_t ASize,
                           int32_t ASampleRate, int32_t AChannels, int32_t ASampleFormat)>;

    // AMaxFiles: capacity for input files and for output files, 1..512; any other value
    // throws std::out_of_range. Needs the media libraries loaded.
    explicit TCustomFFmpeg(int AMaxFiles);
    // Stops the run (waiting for it) and releases every file.
    virtual ~TCustomFFmpeg();
    TCustomFFmpeg(const TCustomFFmpeg&) = delete;
    TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

    // ---- Lifecycle (FFmpeg.cpp) ----

    // Starts the run once. With AUseThread the run goes to a worker thread and the call
    // returns true; without, it runs to its end here and the call returns false. A job
    // that already ran, or that has no input or no output, returns false; the latter is
    // terminated at once with the reason as its fatal message.
    bool StartConvert(bool AUseThread, TThreadPriority APriority);
    // Asks the run to end; a paused worker is released so that it can. With wait, blocks
    // until the worker has left (keeping main-thread deliveries flowing). From the worker
    // itself it never waits.
    void Stop(bool AWaitForStop);
    // The task list's stop: a converting job is stopped; one that never started is
    // terminated from a short-lived thread (with wait: until its terminate callback ran).
    void StopOrTerminate(bool AWaitForStop);
    // The worker parks at its next safe point (between packets, holding no lock) and
    // makes no progress and raises no events until resumed or stopped.
    void Pause();
    void Resume();

    bool Converting() const;
    bool Terminated() const;
    bool Finished() const;
    bool FatalException() const;
    // The failure's reason; without a failure, what the run could not convert, or empty.
    std::string FatalMessage() const;
    bool Paused() const;
    const std::string& LastErrMsg() const { return FLastErrMsg; }
    int MaxFiles() const { return FMaxFiles; }
    // The names the outputs were given when the run ended (UTF-8, in the form the output was
    // named, in output order); without "keep_existing" each is the name asked for. Set by the
    // run's clean-up, before the terminate callback; a failed output has none.
    std::vector<std::string> PublishedOutputs() const {
        std::lock_guard lock(FPublishedLock);
        return FPublishedOutputs;
    }

    // Microseconds between two progress reports.
    int64_t ReportInterval() const { return FReportInterval.load(); }
    void SetReportInterval(int64_t AValue) { FReportInterval = AValue; }
    int64_t PreviewInterval() const { return FPreviewInterval; }
    void SetPreviewInterval(int64_t AValue) { FPreviewInterval = AValue; }
    // Milliseconds of I/O inactivity after which a blocking open, read or write is
    // abandoned; 0 or less: never.
    int ReadTimeout() const { return FReadTimeout; }
    void SetReadTimeout(int AValue) { FReadTimeout = AValue; }

    TProgressEvent OnProgress;
    TTerminateEvent OnTerminate;
    TBeforeFindStreamInfoEvent OnBeforeFindStreamInfo;
    TPreviewBitmapEvent OnPreviewBitmap;
    TVideoHookEvent OnVideoInputHook;
    TVideoHookEvent OnVideoOutputHook;
    TFrameHookEvent OnFrameInputHook;
    TFrameHookEvent OnFrameOutputHook;
    TAudioHookEvent OnAudioHook;

    // ---- Options: SetExtOption, apply_target and the option state come from
    // TFFmpegOptions (FFmpegOptionTable.cpp). ----

    // Post-processing hooks: the preview window and the preview bitmaps. Written from the
    // owner's thread while the run may read them, under the process-wide hook lock.
    void SetPreviewHook(bool AValue);
    void SetPreviewBitmapHook(bool AValue);
    bool PreviewHook() const;
    bool PreviewBitmapHook() const;
    // Bits per pixel of the bitmaps that both video hooks get (8, 15, 16, 24, 32); any
    // other value throws std::invalid_argument("Invalid BitsPixel %d"). Before the run.
    void SetVideoHookBitsPixel(int AValue);

    // ---- Files and streams (FFmpegFiles.cpp) ----

    // Opens the next input with the pending input options. A refusal raises FFmpegException
    // with the reason (the library's, where it gave one).
    void open_input_file(const TFileName& AFileName);
    // Creates the next output with the pending output options. Returns the number of
    // outputs, or -1 with LastErrMsg set.
    int open_output_file(const TFileName& AFileName, bool AJoin);
    // After a joined output was created: one output slot per input.
    void join_setup();

    // Looks a codec up by name (none: true with AV_CODEC_ID_NONE) and checks its kind and
    // whether it is experimental under AStrict. False: LastErrMsg says why.
    bool find_codec(const std::optional<std::string>& AName, AVMediaType AKind, int AStrict, bool AEncoder,
                    AVCodecID& ACodecID);
    // The stream kinds an output may take from the inputs opened so far. With AJoin a
    // kind counts only when every input has it.
    struct TInputKinds {
        bool Video = false, Audio = false, Data = false, Subtitle = false;
    };
    TInputKinds check_inputs(bool AJoin) const;

    int nb_input_files() const { return static_cast<int>(Finput_files.size()); }
    int nb_output_files() const { return static_cast<int>(Foutput_files.size()); }
    // Microseconds that progress measures against; -1 when unknown.
    int64_t TotalOutputDuration() const { return FTotalOutputDuration; }

protected:
    // ---- Lifecycle ----
    // The worker parks here while paused; returns false once the run is to end.
    bool CheckPaused();
    bool Broken() const { return FBroken.load(); }
    void SetFatal(const std::string& AMessage);
    // Where a run ends: the failure is logged, once, at its level (a failure that is not
    // the transcoder's own at quiet level), and becomes the fatal message unless an
    // earlier one is already.
    void RecordFailure(const std::string& AMessage, TLogLevel ALevel = llQuiet);
    void RecordFailure(const std::exception& AError);
    // What a run that goes on to its end could not convert (a damaged input): the
    // termination's message, unless a failure gives its own.
    void SetRunNote(const std::string& AMessage);
    void SetFinished(bool AValue);
    // The read time-out of an open on the owner's thread: registers the job's check for
    // the calling thread and starts the clock; StopReadTimeout undoes both.
    void StartReadTimeout();
    void StopReadTimeout();

    // ---- What the options need from the job ----
    int InputFileCount() const override { return nb_input_files(); }
    int OutputFileCount() const override { return nb_output_files(); }
    std::vector<AVRational> InputVideoFrameRates() const override;
    void NewOutputStream(AVMediaType AKind) override;
    void RecordingTimeSet(int64_t AMicroseconds) override { FTotalOutputDuration = AMicroseconds; }
    bool AddFrameHook(const std::vector<std::string>& AArgs) override {
        return FFrameHooks.Add(this, AArgs) == 0;
    }

    // ---- Files and streams ----
    std::vector<TAVInputFile> Finput_files;
    std::vector<TAVInputStream> Finput_streams;
    std::vector<TAVOutputFile> Foutput_files;
    bool FJoinMode = false;
    int64_t FTotalOutputDuration = -1;
    // Releases every output and every input. An output that holds data, of a run that did
    // not fail and was not marked to discard, gets its name (its part file is published);
    // any other output's file is deleted, so a failed run leaves an older file of that name
    // as it was. Errors while closing or publishing an output are returned, not thrown.
    std::string file_cleanup();
    void Published(const std::string& AName);
    mutable std::mutex FPublishedLock;
    std::vector<std::string> FPublishedOutputs; // FPublishedLock
    // Whether the muxer took packets but wrote none of them (a container that keeps one
    // kind of stream only together with another): the written file, read back, holds no
    // packet.
    bool muxer_dropped_everything(const TAVOutputFile& AFile) const;
    // One more output stream of the kind in AFile (output number AFileIndex), with the
    // pending options of that kind. Raises FFmpegException.
    void new_video_stream(TAVOutputFile& AFile, int AFileIndex);
    void new_audio_stream(TAVOutputFile& AFile, int AFileIndex);
    void new_subtitle_stream(TAVOutputFile& AFile, int AFileIndex);
    void new_data_stream(TAVOutputFile& AFile, int AFileIndex);
    // The part every kind shares: the library stream, the record, the global header flag.
    TAVOutputStream& new_output_stream(TAVOutputFile& AFile, int AFileIndex, AVMediaType AKind,
                                       const AVCodec* AEncoder);
    // The encoder named by the kind's codec option, else the one the container guesses.
    const AVCodec* choose_encoder(const std::optional<std::string>& AName, AVMediaType AKind,
                                  const TAVOutputFile& AFile);

    // ---- Writing (FFmpegOutput.cpp) ----
    // Takes each encoded packet, timestamps in the output stream's time base.
    using TPacketSink = std::function<void(AVPacket*)>;
    // Encoding work for one output stream: sends frames to its encoder and hands every
    // packet to the sink.
    using TEncodeWork = std::function<void(const TPacketSink&)>;
    // Sends AFrame (null: end of stream) to AOst's encoder and hands every packet it returns
    // to ASink, rescaled to the stream's time base, with the pass-1 statistics written. A
    // refused frame raises "AFailure: reason", e.g. "Video encoding failed: Invalid argument".
    void encode_frame(TAVOutputStream& AOst, const AVFrame* AFrame, const char* AFailure,
                      const TPacketSink& ASink);
    // Runs AWork for AOst now, writing each packet as it comes, or, with the stages on
    // threads of their own, hands it to AOst's stage: its packets are written later by this
    // thread, in the order the work was handed out. Returns the size of the last packet
    // written now, 0 when none.
    int encode_on_stage(TAVOutputFile& AFile, TAVOutputStream& AOst, TEncodeWork AWork);
    // An encoded packet of AOst: the byte counters and quality statistics, then written.
    void write_encoded_packet(TAVOutputFile& AFile, TAVOutputStream& AOst, AVPacket* APacket);
    // Writes APacket (not encoded here: copied, or a subtitle) after every packet of the
    // work handed to the stages before it.
    void write_in_order(TAVOutputFile& AFile, TPacketPtr APacket, TAVOutputStream& AOst);
    // Runs APacket through AOst's bitstream filters and interleaves it into AFile.
    void write_output_packet(TAVOutputFile& AFile, AVPacket* APacket, TAVOutputStream& AOst);

    // The audio path and the video encoder on threads of their own (StagePipeline.h), for
    // runs that ask for them (stage_threads) and keep the loop's order with them: one
    // input, no join, no size limit, no per-picture statistics file. Null when the run
    // does everything on its own thread.
    enum TStage { AudioStage, VideoStage, StageCount };
    std::unique_ptr<TStagePipeline> FPipeline;
    bool stages_wanted() const;

    // ---- Audio path (FFmpegAudio.cpp) ----
    // The audio hook and the volume, applied once to a decoded block before any output
    // stream takes it.
    void process_audio_block(TAVInputStream& AIst, AVFrame* ABlock);
    // One decoded block of AIst for AOst, through the audio path (encode_audio_block), on
    // the audio stage when there is one.
    void do_audio_out(TAVOutputFile& AFile, TAVOutputStream& AOst, TAVInputStream& AIst,
                      const AVFrame* ABlock);
    // The audio path of one block: resampling and sample-format conversion, audio sync
    // against ASyncPts (the sync stream's position, µs, when the block was decoded), frames
    // of the encoder's size through the FIFO, encoding. ADecoderRate: the decoder's rate,
    // for a block that tells none. The resampler and FIFO are made on first use. Touches
    // AOst's audio state and AIst.is_start only.
    void encode_audio_block(TAVOutputStream& AOst, TAVInputStream& AIst, const AVFrame* ABlock,
                            int64_t ASyncPts, int ADecoderRate, const TPacketSink& ASink);
    // End of stream: encodes what the FIFO still holds and drains the encoder.
    void flush_audio_out(TAVOutputFile& AFile, TAVOutputStream& AOst);
    // End of stream: the samples the resampler still holds go into the FIFO.
    void drain_resampler(TAVOutputStream& AOst);

    // ---- Video path (FFmpegVideo.cpp) ----
    // Right after decoding: frame count, deinterlacing, input hooks and frame hooks.
    void pre_process_video_frame(TAVInputStream& AIst, AVFrame* APicture);
    // Builds AOst's filter graph ("buffer", an optional "scale", the filter text,
    // "buffersink"); sets the encoder's size and aspect from the graph's output. Returns
    // the library's negative error code on failure (FLastErrMsg may say more).
    int configure_video_filters(TAVInputStream& AIst, TAVOutputStream& AOst);
    // A decoded picture of AIst for AOst: through the filter graph when AOst has one,
    // then do_video_out for every picture that comes out.
    void process_video_frame(TAVOutputFile& AFile, TAVOutputStream& AOst, TAVInputStream& AIst,
                             AVFrame* APicture);
    // Frame-rate conversion (dup/drop), scaling, output and post hooks, encoding and
    // writing. Returns the size of the last frame written, 0 when none.
    int do_video_out(TAVOutputFile& AFile, TAVOutputStream& AOst, TAVInputStream& AIst, AVFrame* APicture);
    // Scaling, hooks, encoding and writing of APicture, ACount times in a row.
    int write_video_frame(TAVOutputFile& AFile, TAVOutputStream& AOst, TAVInputStream& AIst,
                          AVFrame* APicture, int64_t ACount);
    // How many times one picture may still be written: bounded per picture and by the
    // source's probed length.
    int64_t video_copies_allowed(const TAVOutputStream& AOst) const;
    // End of the input: the last picture is repeated until the end of its own duration.
    void fill_video_to_end(TAVOutputFile& AFile, TAVOutputStream& AOst);
    // End of stream: what the filter graph holds, the last picture's time, then drains
    // the encoder.
    void flush_video_out(TAVOutputFile& AFile, TAVOutputStream& AOst);
    // A video hook: APicture as AConverter's bitmap to AHook, and the bitmap back into the
    // picture unless the handler says not to. A hook that fails or asks to stop is cleared
    // for the rest of the run. Returns whether the bitmap now shows the picture as it is.
    bool run_video_hook(TFormatConverter& AConverter, TVideoHookEvent& AHook, TPicture& APicture, int APixFmt,
                        int AWidth, int AHeight, int32_t AFrameNumber, int64_t APTS);
    // The output video hook and the output frame hook on AFrame (made writable first).
    // Returns whether the output converter's bitmap shows the picture.
    bool run_output_hooks(AVFrame* AFrame, int32_t AFrameNumber, int64_t APTS);
    // The preview window or the preview bitmap, at most every PreviewInterval. ABitmapCurrent:
    // the output converter's bitmap already shows AFrame.
    void run_post_hooks(const AVFrame* AFrame, int32_t AFrameNumber, int64_t APTS, bool ABitmapCurrent);

    // The converters of the video hooks; the output one also makes the preview pictures.
    TFormatConverter FInputVideoHook;
    struct TPostHookContext {
        TFormatConverter Converter;
        std::unique_ptr<TPreviewer> Previewer;
        int64_t preview_last_time = 0; // microseconds, steady clock
    };
    TPostHookContext FOutputVideoHook;
    // The "vhook" libraries, released with the files.
    TFrameHookList FFrameHooks;

    // Byte and frame counters of the run (worker thread only).
    int64_t Fvideo_size = 0, Faudio_size = 0, Fextra_size = 0;
    int32_t Fnb_frames_dup = 0, Fnb_frames_drop = 0;
    bool FShowDupOrDrop = false;
    TFilePtr Fvstats_file;

    // ---- The set-up of a run (FFmpegSetup.cpp) ----
    // Everything between the opened files and the first packet; on failure it cleans up
    // and raises FFmpegException.
    void transcode_setup();
    void choose_input_streams();
    void setup_stream_copy(TAVOutputStream& AOst, TAVInputStream& AIst);
    void setup_encoding(TAVOutputStream& AOst, TAVInputStream& AIst);

    // ---- Sizes and rates the encoder takes (FFmpegEncoderFit.cpp) ----
    // Brings the encoder's picture size within what its encoder takes, logging any change.
    // A size taken over from the source (ADec's) is scaled down as far as needed; an asked
    // size is only rounded to the encoder's multiples and raises FFmpegException otherwise.
    // True when the source's size was changed, so that its shape is kept by the aspect.
    bool fit_video_size(TAVOutputStream& AOst, const AVCodecContext& ADec);
    // The rate nearest ARate that AOst's encoder takes (from its list of rates, unless
    // Fforce_fps, and with a time base it can code), logging any change.
    AVRational fit_frame_rate(const TAVOutputStream& AOst, AVRational ARate);
    // Keeps every coded picture of AOst within the largest one its muxer takes, by the
    // encoder's own rate control, logging what was set (after the frame rate is set).
    void fit_picture_budget(TAVOutputStream& AOst);
    void setup_two_pass(TAVOutputStream& AOst, int ARunIndex);
    void open_encoders();
    void open_decoders();
    void copy_metadata_and_chapters();
    void copy_chapters(int AInputFile, int AOutputFile);
    void write_headers();
    // "Stream mapping:" and a line per output stream.
    void dump_mapping();
    // Join mode, between input AFinished and the next: the open encoders (and what the
    // encoder's samples and statistics still need) go on to the next slot's streams.
    void reopen_encoders(int AFinished);
    // End of a run: encoders, then decoders, closed and taken off the registries.
    void close_codecs();
    void transcode_cleanup();
    // Closes every codec still open, the newest first (the run's final clean-up).
    void close_open_codecs();

    // Run tables: every output stream of every output slot, in slot and stream order.
    std::vector<TAVOutputStream*> Frun_streams;
    int Fslot_stream_count = 0;

    // ---- The run (FFmpegLoop.cpp) ----
    // The flags the set-up and the loop read: a copy of FRunFlags taken when the run
    // starts, so that an option set meanwhile cannot reach it.
    std::unique_ptr<const TRunFlags> FRun;
    void transcode();
    // One demuxed packet of AIst (null: end of its stream): decoding and dispatch to the
    // output streams it feeds, or the copy. With AFlushEncoders an end of stream also
    // drains their encoders. Returns 0, or -1 on a decoding error.
    int process_packet(TAVInputStream& AIst, const AVPacket* APacket, bool AFlushEncoders = true);
    // A decoded audio block or picture of AIst for every output stream it feeds.
    void dispatch_frame(TAVInputStream& AIst, AVFrame* AFrame);
    void do_streamcopy(TAVInputStream& AIst, TAVOutputStream& AOst, const AVPacket* APacket);
    void do_subtitle_out(TAVOutputFile& AFile, TAVOutputStream& AOst, TAVInputStream& AIst, AVSubtitle* ASub,
                         int64_t APts);
    // Applies the file's and the stream's offsets and scale to APacket and repairs
    // timestamps that jumped (FFmpegTimestamps.cpp).
    void correct_timestamps(TAVInputFile& AFile, TAVInputStream& AIst, AVPacket* APacket);
    // Join mode: input AFinished has ended; goes on with the next or ends the loop.
    bool join_next_input(int AFinished);
    // A read of AInput gave ARet (< 0, not "try again"). Returns at the clean end of its
    // file; raises FFmpegException with the library's reason for a read error, for data
    // the demuxer cannot go on from, and for a file that became shorter than it was when
    // it was opened.
    void check_input_end(const TAVInputFile& AInput, int ARet);
    static std::string InputName(const TAVInputFile& AInput);
    // The current time of an output stream in seconds: what it has encoded or copied.
    double output_time(const TAVOutputStream& AOst) const;
    TAVOutputFile& output_file_of(const TAVOutputStream& AOst) { return Foutput_files[AOst.file_index]; }
    // Raises OnProgress (at most every ReportInterval while running, once when last).
    void print_report(bool AIsLast, int AFileIndex);
    int64_t Ftimer_start = 0; // microseconds, steady clock
    int64_t FLastReport = 0;
    // Per input file: it answered "try again"; and how many did.
    std::vector<char> Finput_waiting;
    int Fnb_input_waiting = 0;
    // Join mode: the input being read (and the output slot it feeds).
    int FCurrentInput = 0;
    // Encoded subtitles, made on first use: one buffer per job, as jobs run side by side.
    std::vector<uint8_t> Fsubtitle_out;

    std::string FLastErrMsg;

    // Answers "abandon" once the job is stopped or an open's time-out has passed.
    static bool InterruptCheck(void* ASender);
    // The run's check: answers "abandon" once the job is stopped, while an input is
    // being read (writes go on, so that a stopped output gets its trailer).
    static bool StopCheck(void* ASender);
    std::atomic<bool> FReadingInput{false};

private:
    void Run();
    void DoTerminate();

    const int FMaxFiles;
    std::atomic<int64_t> FReportInterval{500000};
    int64_t FPreviewInterval = 100000;
    int FReadTimeout = 10000;
    // Microseconds (steady clock) of the last library I/O activity of an open on the
    // owner's thread; max: no time-out running; 0: abandon now.
    std::atomic<int64_t> FLastRead{std::numeric_limits<int64_t>::max()};
    std::atomic<bool> FBroken{false};

    mutable std::mutex FStateLock;
    std::condition_variable FStateCond; // FStateLock: worker left, termination ran, pause changes
    bool FConverting = false;           // FStateLock
    bool FTerminating = false;          // FStateLock: a never-started termination is under way
    bool FTerminated = false;           // FStateLock
    bool FFinished = false;             // FStateLock
    bool FFatalException = false;       // FStateLock
    std::string FFatalMessage;          // FStateLock
    bool FWorkerRunning = false;        // FStateLock: set from StartConvert until the worker leaves
    bool FPauseRequested = false;       // FStateLock
    // Assigned under FStateLock (StartConvert may run on another task's worker); joined
    // by the destructor once the thread has said it is leaving.
    std::thread FThread;
    std::thread FTermThread;
    std::thread::id FWorkerID; // FStateLock

    // Process-wide hook lock guards these. The run reads them before each picture and
    // switches a hook off when it fails; FHookChanged tells it the owner set them since.
    bool FPreviewHook = false;
    bool FPreviewBitmapHook = false;
    bool FHookChanged = false;
};

// The lock over every job's post-processing hook settings.
std::mutex& PostHookLock();

} // namespace vx
