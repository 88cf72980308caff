// The audio output of a playback: the SDL audio device, and its callback that decodes
// packets of the audio queue, converts them to s16 interleaved, applies the audio hook,
// volume and mute, feeds the sample ring and keeps the audio clock.
//
// The player owns one TPlayerAudio per open audio stream. Open, Start and Close run on
// the thread that opens and closes the playback's streams (the reader thread); SDL must
// have been initialised with SDL_INIT_AUDIO. Between Start and Close the callback runs on
// SDL's audio thread, the only consumer of the audio queue; it never blocks on the queue
// (an empty queue plays silence). Close must not run on the main thread while log lines
// are delivered there: it waits for a callback that may be logging.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/FFApi.h"
#include "base/FFLog.h"
#include "base/SDLLoader.h"
#include "play/PlayerClocks.h"
#include "play/PlayerPacketQueue.h"
#include "play/PlayerSampleRing.h"

namespace vx {

// Sees each decoded chunk before it is played: APTS in microseconds from the start of the
// media, ASample the s16 interleaved samples (may be changed in place), ASize in bytes.
// Runs on SDL's audio thread.
using TPlayerAudioHook =
    std::function<void(int64_t APTS, uint8_t* ASample, int ASize, int ASampleRate, int AChannels)>;

// The player's live settings that the callback reads at each chunk.
struct TPlayerAudioControls {
    std::atomic<int> Volume{128}; // 0..128
    std::atomic<bool> Mute{false};
    // 0: no audio display; else the samples also go to the sample ring.
    std::atomic<int> ShowMode{0};
};

class TPlayerAudio {
public:
    static constexpr int DeviceSamples = AudioDeviceSamples;
    static constexpr int AudioBufferBytes = 288000; // initial room for one decoded chunk

    // Every reference must outlive this object. AHook may be empty; it is not changed
    // while the device runs.
    TPlayerAudio(const TSDLLoader& ASDL, TPacketQueue& AQueue, TPlayerTiming& ATiming,
                 const TPlayerAudioControls& AControls, TSampleRing& ARing, TPlayerAudioHook AHook);
    ~TPlayerAudio(); // Close
    TPlayerAudio(const TPlayerAudio&) = delete;
    TPlayerAudio& operator=(const TPlayerAudio&) = delete;

    // Opens the device (paused) for the opened decoder ADecoder, whose packets carry
    // timestamps in ATimeBase. At most two channels are played; more are mixed down.
    // Sets the timing's audio format. 0, or -1 with the reason logged and in LastErrMsg.
    int Open(AVCodecContext* ADecoder, AVRational ATimeBase);
    // Starts the callback. Start the queue first.
    void Start();
    // Stops the callback (waits for a running one) and closes the device. Abort the queue
    // first. The decoder stays open and the caller's.
    void Close();
    bool Opened() const { return FDevice != 0; }
    const std::string& LastErrMsg() const { return FLastErrMsg; }

    // Fills ALen bytes of AStream: what the SDL callback does. Public so that a test can
    // drive the output without a device.
    void FillBuffer(uint8_t* AStream, int ALen);

private:
    struct TSwrDeleter {
        void operator()(SwrContext* p) const { ff::swr_free(&p); }
    };
    struct TFrameDeleter {
        void operator()(AVFrame* p) const { ff::av_frame_free(&p); }
    };
    struct TPacketDeleter {
        void operator()(AVPacket* p) const { ff::av_packet_free(&p); }
    };
    static void SDLCallback(void* AUserData, uint8_t* AStream, int ALen);
    int DecodeFrame(double& APts);
    int ConvertFrame();
    int TakePacket();
    void PublishClock(int64_t ACallbackTime);
    void Report(TLogLevel ALevel, const std::string& AText);

    const TSDLLoader& FSDL;
    TPacketQueue& FQueue;
    TPlayerTiming& FTiming;
    const TPlayerAudioControls& FControls;
    TSampleRing& FRing;
    const TPlayerAudioHook FHook;
    std::string FLastErrMsg;
    SDL_AudioDeviceID FDevice = 0;

    // Audio thread only (and the opening thread while the device is closed).
    AVCodecContext* FDecoder = nullptr;
    AVRational FTimeBase{1, 1};
    int FSampleRate = 0;
    int FChannels = 0;
    std::unique_ptr<AVPacket, TPacketDeleter> FPacket; // taken from the queue, not yet sent
    bool FPacketPending = false;
    std::unique_ptr<AVFrame, TFrameDeleter> FFrame;
    std::unique_ptr<SwrContext, TSwrDeleter> FConverter;
    AVChannelLayout FConverterLayout{};
    int FConverterFormat = -1;
    int FConverterRate = 0;
    std::vector<uint8_t> FBuffer; // the decoded chunk being played
    int FBufSize = 0;             // bytes of FBuffer to play
    int FBufIndex = 0;            // bytes of it already handed to the device
    double FClock = 0;            // time at the end of the decoded data
};

} // namespace vx
