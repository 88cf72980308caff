#include "DecodeTestMedia.h"

#include <functional>
#include <map>
#include <memory>
#include <set>

#include "MediaFixtures.h"
#include "base/FFLoad.h"
#include "base/UnicodeProtocol.h"

namespace vx::fixtures {

std::string Media(const std::string& AName) {
    static const std::map<std::string, std::function<TMediaSpec()>> specs = {
        {"clip.avi", AviMpeg4Mp3},
        {"clip.mp4", Mp4H264Aac},
        {"tone.wav", WavPcm},
        {"song.mp3", Mp3AudioOnly},
        {"two.mkv", TwoVideoStreams},
        {"ntsc.avi", NtscFrameRate},
        {"odd.avi", OddSize},
        {"bframes.mp4", BFramesClip},
        {"program.mpg", MpegProgramStream},
        {"still-picture", StillPicture},
        {"combed.avi", CombedClip},
    };
    static std::unique_ptr<TTempDir> dir;
    static std::set<std::string> written;
    if (!dir)
        dir = std::make_unique<TTempDir>();
    const std::string path = dir->File(AName);
    if (!written.contains(AName)) {
        const auto spec = specs.find(AName);
        if (spec == specs.end())
            throw std::invalid_argument("no test medium named " + AName);
        WriteMedia(path, spec->second());
        written.insert(AName);
    }
    return path;
}

void TDecoderTest::SetUpTestSuite() {
    ASSERT_TRUE(FFLoader().Load(DecoderLibraries)) << FFLoader().LastErrMsg();
}

void TDecoderTest::SetUp() {
    GetLogger().OnLog = [this](void* ASender, uint32_t, TLogLevel ALevel, const std::string& AText) {
        if (ASender == &Decoder)
            Logged.push_back({ALevel, AText});
    };
}

void TDecoderTest::TearDown() {
    GetLogger().OnLog = nullptr;
}

void TDecoderTest::Load(const std::string& AName) {
    ASSERT_TRUE(Decoder.LoadFile(UTF8ToFileName(Media(AName)))) << Decoder.LastErrMsg();
}

bool TDecoderTest::WasLogged(TLogLevel ALevel, const std::string& AText) const {
    for (const TLogged& logged : Logged)
        if (logged.Level == ALevel && logged.Text == AText)
            return true;
    return false;
}

} // namespace vx::fixtures
