// Running vantorix-cli as a subprocess, with a home folder of its own so that the user's
// settings are never read or written, and reading its JSON lines back.
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MediaFixtures.h"

namespace vx::clitest {

struct TCliResult {
    int ExitCode = -1;
    bool Crashed = false;
    QByteArray Out;
    QByteArray Err;

    QString ErrText() const { return QString::fromUtf8(Err); }
    // Every line of stdout, parsed; a line that is not a JSON object fails the test.
    std::vector<QJsonObject> JsonLines() const;
};

std::ostream& operator<<(std::ostream& AStream, const TCliResult& AResult);

// The folder that serves as the subprocess's home and configuration folder.
const QString& CliHome();

// Starts vantorix-cli with AArgs in the test's environment (sanitizer settings included).
void StartCli(QProcess& AProcess, const QStringList& AArgs);
// Runs vantorix-cli with arguments given as bytes, in AWorkingDir: Qt hands a program only
// arguments that are valid in the locale's encoding, and file names need not be.
TCliResult RunCliWithBytes(const std::vector<QByteArray>& AArgs, const QString& AWorkingDir);
// Reads the program's stdout (AStderr: its stderr) into ARead until it holds ANeedle; false when
// the program ends or ATimeoutMs pass first.
bool WaitForOutput(QProcess& AProcess, bool AStderr, QByteArray& ARead, const QByteArray& ANeedle,
                   int ATimeoutMs = 60000);
// Waits for the end, at most ATimeoutMs; a program that does not end is killed and counts as
// crashed. AOut and AErr: what was read from the program before.
TCliResult FinishCli(QProcess& AProcess, int ATimeoutMs = 120000, const QByteArray& AOut = {},
                     const QByteArray& AErr = {});
TCliResult RunCli(const QStringList& AArgs);

QString Q(const std::string& AText);

// Generated media shared by the tests of one suite.
class TCliMedia : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();

    // An AVI (MPEG-4 320x240 25 fps + MP3), 2 s.
    static QString Clip() { return Q(Media->File("clip.avi")); }
    // An AVI of MPEG-4 at 640x480, 2 s, without sound.
    static QString Clip640() { return Q(Media->File("clip640.avi")); }
    static QString Wav() { return Q(Media->File("tone.wav")); }
    // A text file named like a video, and an AVI cut after its first kilobytes.
    static QString NotMedia() { return Q(Media->File("notes.avi")); }
    static QString Truncated() { return Q(Media->File("truncated.avi")); }
    // A minute of MPEG-4 at 320x240 without sound, made on first use: long enough that encoding
    // it at 720x576 is still running when the test interrupts it.
    static QString LongClip();
    // What makes a conversion of LongClip slow with every encoder: a larger picture.
    static inline const QString SlowSize = QStringLiteral("Video Size=720 x 576");

    // A fresh, empty output folder for each test.
    void SetUp() override;
    void TearDown() override;
    QString OutDir() const { return Q(Out->Path()); }
    QString OutFile(const QString& AName) const { return OutDir() + "/" + AName; }

    static fixtures::TTempDir* Media;
    fixtures::TTempDir* Out = nullptr;
};

// What the decoder finds in an output file.
struct TMediaFacts {
    bool Opened = false;
    std::string Error;
    std::string Format;
    int VideoStreams = 0;
    int AudioStreams = 0;
    int Width = -1;
    int Height = -1;
    std::string VideoCodec;
    std::string AudioCodec;
    int SampleRate = -1;
    int Channels = -1;
    double Seconds = -1;
    // From the packets: pictures, the span of the video (first timestamp to the end of the
    // last picture) and of the sound, in seconds, and the output frame rate.
    int VideoFrames = 0;
    double VideoStart = 0, VideoSeconds = 0;
    double AudioStart = 0, AudioSeconds = 0;
    double FrameRate = 0;
};
TMediaFacts ReadMedia(const QString& AFile);

} // namespace vx::clitest
