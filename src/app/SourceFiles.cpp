#include "SourceFiles.h"

#include "BatchDriver.h"
#include "ConversionSettings.h"
#include "JobListModel.h"
#include "LocalFileNames.h"
#include "OrderedProbes.h"
#include "base/PlatformBridge.h"
#include "decode/FFDecode.h"

namespace vx {

const QString OpenDialogFilter = QStringLiteral(
    "All Supported Files|"
    "*.avi;*.mpeg;*.mpg;*.mpa;*.m1v;*.mv2;*.wma;*.wmv;*.asf;*.asx;*.mov; *.qt;*.3gp;*.3g2;*.mp3;"
    "*.mp2;*.ogg;*.aac;*.mp4;*.m4a;*.rm;*.rmvb;*.ram;*.ra;*.vob; *.dat;*.cda;*.dv; *.dif;*.wav; *.au;"
    " *.aiff;*.mjpg; *.mjpeg;*.ac3; *.gif; *.swf; *.flv|"
    "3GPP Files (*.3gp)|*.3gp|3GPP2 Files (*.3g2)|*.3g2|AAC Files (*.aac)|*.aac|"
    "AC3 Files (*.ac3)|*.ac3|Audio CD Files (*.cda)|*.cda|AVI Files (*.avi)|*.avi|"
    "DV Video Files (*.dv, *.dif)|*.dv;*.dif|DVD VOB Files (*.vob)|*.vob|"
    "GIF Animated Files (*.gif)|*.gif|Macromedia Flash Files (*.flv, *.swf)|*.flv; *.swf|"
    "Monkey Audio Files (*.ape, *.cue)|*.ape;*.cue|MJpeg Video Files (*.mjpg, *.mjpeg)|"
    "*.mjpg; *.mjpeg|MP2 Files (*.mp2)|*.mp2|MP3 Files (*.mp3)|*.mp3|"
    "MPEG Files (*.mpeg, *.mpg, *.mpa, *.m1v, *.mv2)|*.mpeg;*.mpg;*.mpa;*.m1v;*.mv2|"
    "MPEG-4 Files (*.mp4)|*.mp4|MPEG-4 Audio Files (*.m4a, *.mp4)|*.m4a; *.mp4|"
    "Ogg Vorbis Files (*.ogg)|*.ogg|RealMedia Files (*.rm, *.rmvb, *.ram, *.ra)|"
    "*.rm; *.rmvb; *.ram; *.ra|QuickTime Files (*.mov, *.qt)|*.mov; *.qt|"
    "VCD DAT Files (*.dat)|*.dat|WAV Files (*.wav, *.au, *.aiff)|*.wav; *.au; *.aiff|"
    "Windows Media Files(*.wma, *.wmv, *.asf, *.asx)|*.wma;*.wmv;*.asf;*.asx|");

QStringList NameFiltersOf(const QString& AFilter) {
    const QStringList fields = AFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i < fields.size(); i += 2) {
        const QString& description = fields[i];
        QStringList patterns;
        if (i + 1 < fields.size())
            for (const QString& pattern : fields[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
                if (const QString p = pattern.trimmed(); !p.isEmpty())
                    patterns << p;
        if (description.isEmpty() && patterns.isEmpty())
            continue;
        filters << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters;
}

QString FrameRateText(AVRational AFrameRate) {
    if (AFrameRate.den == 0)
        return {};
    return QString::number(double(AFrameRate.num) / AFrameRate.den, 'g', 15);
}

QString DurationText(int64_t ADuration) {
    if (ADuration < 0)
        return {};
    const int64_t s = ADuration / 1000000;
    return QString::asprintf("%.2lld:%.2lld:%.2lld", static_cast<long long>(s / 3600),
                             static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
}

bool TBatchAddFileState::ConversionRunning() const {
    return FDriver.TaskActive() || FDriver.Converting();
}

bool TBatchAddFileState::AddFileInProgress() const {
    return FDriver.AddFileInProgress();
}

void TBatchAddFileState::SetAddFileInProgress(bool AValue) {
    FDriver.SetAddFileInProgress(AValue);
}

class TSourceFileAdder::TInProgress {
public:
    explicit TInProgress(IAddFileState& AState) : FState(AState) { FState.SetAddFileInProgress(true); }
    ~TInProgress() { FState.SetAddFileInProgress(false); }
    TInProgress(const TInProgress&) = delete;
    TInProgress& operator=(const TInProgress&) = delete;

private:
    IAddFileState& FState;
};

TSourceFileAdder::TSourceFileAdder(TJobListModel& AList, TCustomDecoder& ADecoder,
                                   const TConversionSettings& ASettings, IAddFileState& AState)
    : FList(AList), FDecoder(ADecoder), FSettings(ASettings), FState(AState) {}

bool TSourceFileAdder::AddFileInProgress() const {
    return FState.AddFileInProgress();
}

// A request that arrives while files are being added comes from a handler run between two
// files: it must neither start a second routine nor clear the state of the running one, nor
// wipe the "Error" marks the running one has just written. While converting, the run owns the
// list: its rows are addressed by position and its results are in the "Progress" cells.
bool TSourceFileAdder::Blocked() const {
    return FState.ConversionRunning() || FState.AddFileInProgress();
}

void TSourceFileAdder::ClearProgressCells() {
    // The results and percentages go; the frame counts stay. An unreadable file keeps its
    // "Error" mark and reason for as long as its row is listed.
    for (int row = 0; row < FList.Count(); ++row) {
        TJobProgress progress = FList.Progress(row);
        if (progress.State == TJobState::Unreadable)
            continue;
        progress.State = TJobState::Waiting;
        progress.Percent.reset();
        progress.Reason.clear();
        FList.SetProgress(row, progress);
    }
}

void TSourceFileAdder::ButtonAddFileClick() {
    if (Blocked())
        return;
    ClearProgressCells();
    TInProgress adding(FState);
    // Called from a click: nothing may escape into the event loop. The dialog failing is the
    // same as choosing nothing.
    QStringList files;
    try {
        if (OnExecuteOpenDialog)
            files = OnExecuteOpenDialog(this);
    } catch (...) {
        return;
    }
    AddFilesToList(files);
}

void TSourceFileAdder::AddFiles(const QStringList& AFiles) {
    if (AFiles.isEmpty() || Blocked())
        return;
    ClearProgressCells();
    TInProgress adding(FState);
    AddFilesToList(AFiles);
}

void TSourceFileAdder::CancelAdding() {
    FCancelRequested = true;
}

void TSourceFileAdder::AddFilesToList(const QStringList& AFiles) {
    // A dialog or a drop hands over names that Qt decoded; a name that is not UTF-8 must be
    // found again by its bytes.
    QStringList files;
    for (const QString& file : AFiles)
        files << ResolveDecodedName(file);
    FCancelRequested = false;
    TOrderedProbes<TSourceFacts> probes(files, Probe);
    try {
        while (!probes.AtEnd() && !FCancelRequested) {
            if (const std::optional<TSourceFacts> facts = probes.TakeNext(ProbeWait)) {
                const int row = AppendRow(*facts);
                if (OnScrollToRow)
                    OnScrollToRow(this, row);
            }
            PlatformBridge().ProcessPendingMessages();
        }
    } catch (...) {
        // The rows added so far stay; the remaining files are left out without a message.
    }
}

TSourceFacts TSourceFileAdder::FactsOf(TCustomDecoder& ADecoder, const QString& AFile, bool AOpened) {
    TSourceFacts facts;
    facts.File = AFile;
    facts.Opened = AOpened;
    if (!AOpened) {
        facts.Error = QString::fromStdString(ADecoder.LastErrMsg());
        return facts;
    }
    // Without a video stream the index runs one past the last stream; the decoder then
    // answers with its reset values, which the cells show as they are (-1x-1, 1).
    const int streams = ADecoder.StreamCount();
    int video = 0;
    while (video < streams && !ADecoder.IsVideoStream(video))
        ++video;
    const TVideoStreamInfo info = ADecoder.VideoStreamInfos(video);
    facts.VideoSize = QString::number(info.Width) + QLatin1Char('x') + QString::number(info.Height);
    facts.FrameRate = FrameRateText(info.FrameRate);
    facts.Duration = DurationText(ADecoder.FileStreamInfo().Duration);
    return facts;
}

TSourceFacts TSourceFileAdder::ProbeSource(const QString& AFile) {
    TFFDecoder decoder;
    const bool opened = decoder.LoadFile(AFile.toStdU16String(), {});
    return FactsOf(decoder, AFile, opened);
}

int TSourceFileAdder::AddFile(const QString& AFile) {
    const bool opened = FDecoder.LoadFile(AFile.toStdU16String(), {});
    return AppendRow(FactsOf(FDecoder, AFile, opened));
}

int TSourceFileAdder::AppendRow(const TSourceFacts& AFacts) {
    if (!AFacts.Opened) {
        const int row = FList.AddRow(AFacts.File, true);
        TJobProgress unreadable;
        unreadable.State = TJobState::Unreadable;
        unreadable.Reason = AFacts.Error;
        FList.SetProgress(row, unreadable);
        return row;
    }
    // Every text is ready before the row appears, so that a failure leaves no half-filled row.
    const QString output = FSettings.CurrentOutputFormat();
    const int row = FList.AddRow(AFacts.File, true);
    FList.SetCell(row, jcVideoSize, AFacts.VideoSize);
    FList.SetCell(row, jcFrameRate, AFacts.FrameRate);
    FList.SetCell(row, jcDuration, AFacts.Duration);
    FList.SetCell(row, jcOutput, output);
    return row;
}

} // namespace vx
