#include "CliTestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QProcessEnvironment>

#include <algorithm>
#include <cmath>

#include "base/FFLoad.h"
#include "base/FormatIO.h"
#include "decode/FFDecode.h"

namespace vx::clitest {

QString Q(const std::string& AText) {
    return QString::fromStdString(AText);
}

std::vector<QJsonObject> TCliResult::JsonLines() const {
    std::vector<QJsonObject> lines;
    for (const QByteArray& line : Out.split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        EXPECT_TRUE(document.isObject()) << "not a JSON object: " << line.toStdString() << " ("
                                         << error.errorString().toStdString() << ")";
        lines.push_back(document.object());
    }
    return lines;
}

std::ostream& operator<<(std::ostream& AStream, const TCliResult& AResult) {
    return AStream << "exit " << AResult.ExitCode << (AResult.Crashed ? " (crashed)" : "") << "\nstdout:\n"
                   << AResult.Out.toStdString() << "\nstderr:\n"
                   << AResult.Err.toStdString();
}

const QString& CliHome() {
    static fixtures::TTempDir home;
    static const QString path = Q(home.Path());
    return path;
}

namespace {

void StartProgram(QProcess& AProcess, const QString& AProgram, const QStringList& AArgs) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", CliHome());
    environment.insert("XDG_CONFIG_HOME", CliHome() + "/.config");
    AProcess.setProcessEnvironment(environment);
    AProcess.start(AProgram, AArgs);
    ASSERT_TRUE(AProcess.waitForStarted(30000)) << AProcess.errorString().toStdString();
}

} // namespace

void StartCli(QProcess& AProcess, const QStringList& AArgs) {
    StartProgram(AProcess, QStringLiteral(VANTORIX_CLI_PATH), AArgs);
}

TCliResult RunCliWithBytes(const std::vector<QByteArray>& AArgs, const QString& AWorkingDir) {
    // A shell script carries the bytes: each argument in single quotes, which keep every byte.
    QByteArray script = "exec '" VANTORIX_CLI_PATH "'";
    for (const QByteArray& arg : AArgs) {
        EXPECT_FALSE(arg.contains('\'')) << arg.toStdString();
        script += " '" + arg + "'";
    }
    QFile file(AWorkingDir + "/run-cli.sh");
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(script + "\n");
    file.close();
    QProcess process;
    process.setWorkingDirectory(AWorkingDir);
    StartProgram(process, QStringLiteral("/bin/sh"), {file.fileName()});
    TCliResult result = FinishCli(process);
    file.remove();
    return result;
}

bool WaitForOutput(QProcess& AProcess, bool AStderr, QByteArray& ARead, const QByteArray& ANeedle,
                   int ATimeoutMs) {
    QDeadlineTimer deadline(ATimeoutMs);
    AProcess.setReadChannel(AStderr ? QProcess::StandardError : QProcess::StandardOutput);
    while (!ARead.contains(ANeedle)) {
        if (deadline.hasExpired() || AProcess.state() != QProcess::Running)
            return false;
        AProcess.waitForReadyRead(100);
        ARead += AStderr ? AProcess.readAllStandardError() : AProcess.readAllStandardOutput();
    }
    return true;
}

TCliResult FinishCli(QProcess& AProcess, int ATimeoutMs, const QByteArray& AOut, const QByteArray& AErr) {
    TCliResult result;
    if (!AProcess.waitForFinished(ATimeoutMs)) {
        AProcess.kill();
        AProcess.waitForFinished(10000);
        result.Crashed = true;
    }
    result.Out = AOut + AProcess.readAllStandardOutput();
    result.Err = AErr + AProcess.readAllStandardError();
    result.Crashed = result.Crashed || AProcess.exitStatus() != QProcess::NormalExit;
    result.ExitCode = AProcess.exitCode();
    return result;
}

TCliResult RunCli(const QStringList& AArgs) {
    QProcess process;
    StartCli(process, AArgs);
    return FinishCli(process);
}

fixtures::TTempDir* TCliMedia::Media = nullptr;

void TCliMedia::SetUpTestSuite() {
    ASSERT_TRUE(FFLoader().Load(EncoderLibraries)) << FFLoader().LastErrMsg();
    Media = new fixtures::TTempDir;
    fixtures::WriteMedia(Media->File("clip.avi"), fixtures::AviMpeg4Mp3());
    fixtures::WriteMedia(Media->File("clip640.avi"), {"avi", {{"mpeg4", 640, 480}}, {}, 2.0});
    fixtures::WriteMedia(Media->File("tone.wav"), fixtures::WavPcm());
    fixtures::WriteTextFile(Media->File("notes.avi"), "shopping list: milk, bread\n");
    fixtures::WriteTruncatedCopy(Media->File("clip.avi"), Media->File("truncated.avi"), 2000);
}

QString TCliMedia::LongClip() {
    const std::string path = Media->File("long.avi");
    if (fixtures::FileSize(path) <= 0)
        fixtures::WriteMedia(path, {"avi", {{"mpeg4", 320, 240, {25, 1}, 200000}}, {}, 60.0});
    return Q(path);
}

void TCliMedia::TearDownTestSuite() {
    delete Media;
    Media = nullptr;
}

void TCliMedia::SetUp() {
    Out = new fixtures::TTempDir;
}

void TCliMedia::TearDown() {
    delete Out;
    Out = nullptr;
}

TMediaFacts ReadMedia(const QString& AFile) {
    TMediaFacts facts;
    TFFDecoder decoder;
    if (!decoder.LoadFile(AFile.toStdU16String())) {
        facts.Error = decoder.LastErrMsg();
        return facts;
    }
    facts.Opened = true;
    facts.Format = decoder.FormatName();
    facts.VideoStreams = decoder.VideoStreamCount();
    facts.AudioStreams = decoder.AudioStreamCount();
    if (facts.VideoStreams > 0) {
        const TVideoStreamInfo video = decoder.FirstVideoStreamInfo();
        facts.Width = video.Width;
        facts.Height = video.Height;
        facts.VideoCodec = video.CodecName;
    }
    if (facts.AudioStreams > 0) {
        const TAudioStreamInfo audio = decoder.FirstAudioStreamInfo();
        facts.AudioCodec = audio.CodecName;
        facts.SampleRate = audio.SampleRate;
        facts.Channels = audio.Channels;
    }
    const TFileStreamInfo file = decoder.FileStreamInfo();
    facts.Seconds = file.Duration >= 0 ? file.Duration / 1e6 : -1;

    AVFormatContext* raw = nullptr;
    if (OpenInputFile(&raw, AFile.toStdString(), nullptr, nullptr) < 0)
        return facts;
    TInputFilePtr input(raw);
    if (ff::avformat_find_stream_info(raw, nullptr) < 0)
        return facts;
    int video = -1, audio = -1;
    for (int i = static_cast<int>(raw->nb_streams) - 1; i >= 0; --i) {
        const AVMediaType kind = raw->streams[i]->codecpar->codec_type;
        if (kind == AVMEDIA_TYPE_VIDEO)
            video = i;
        else if (kind == AVMEDIA_TYPE_AUDIO)
            audio = i;
    }
    if (video >= 0) {
        const AVStream* st = raw->streams[video];
        const AVRational rate =
            st->avg_frame_rate.num && st->avg_frame_rate.den ? st->avg_frame_rate : st->r_frame_rate;
        facts.FrameRate = rate.den ? av_q2d(rate) : 0;
    }
    double first[2] = {INFINITY, INFINITY}, end[2] = {-INFINITY, -INFINITY};
    TPacketPtr packet(ff::av_packet_alloc());
    while (ff::av_read_frame(raw, packet.get()) >= 0) {
        const int index = packet->stream_index;
        const int which = index == video ? 0 : index == audio ? 1 : -1;
        const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (which >= 0 && ts != AV_NOPTS_VALUE) {
            const double tb = av_q2d(raw->streams[index]->time_base);
            first[which] = std::min(first[which], ts * tb);
            end[which] = std::max(end[which], (ts + packet->duration) * tb);
        }
        if (which == 0)
            ++facts.VideoFrames;
        ff::av_packet_unref(packet.get());
    }
    if (end[0] > first[0]) {
        facts.VideoStart = first[0];
        facts.VideoSeconds = end[0] - first[0];
    }
    if (end[1] > first[1]) {
        facts.AudioStart = first[1];
        facts.AudioSeconds = end[1] - first[1];
    }
    return facts;
}

} // namespace vx::clitest
