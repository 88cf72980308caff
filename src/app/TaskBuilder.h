// Turns one job-list row and the window's current choices into an encoder task: the output file
// name, the input options and the output options. The numbers, sizes and rates come from the
// values the settings lists keep beside their items ("6000 Kbps" stands for 6000000), the codecs
// from the codec lists' words.
#pragma once

#include "encode/FFEncodeRecords.h"

#include <QString>
#include <functional>
#include <optional>
#include <string>

namespace vx {

class TAdditionalOptions;
class TBatchOutputNames;
class TConversionSettings;
class TSettingsList;
class TVolumeSliders;

// What the builder reads from a job-list row.
struct TTaskRow {
    // The row's caption: the source path as it was added.
    QString Caption;
    // The "Video Size" cell, e.g. "640x480"; empty when the source's size is unknown.
    QString VideoSize;
    // The "Output" cell. Without one (a caller that keeps no list) the current output format stands in.
    std::optional<QString> Output;
};

// Everything the encoder needs for one row.
struct TEncoderTask {
    QString OutputFileName;
    TInputOptions InputOptions;
    TOutputOptions OutputOptions;
};

class TTaskBuilder {
public:
    // The objects are read at every build, so a task always takes the choices made last.
    // They must outlive the builder.
    TTaskBuilder(const TConversionSettings& ASettings, const TAdditionalOptions& AOptions,
                 const TVolumeSliders& AVolume);

    // Builds all three parts of the row's task. False when any part fails; the reason is in
    // LastErrMsg() and ATask holds what was built up to the failure.
    bool BuildTask(const TTaskRow& ARow, TEncoderTask& ATask);

    // The output file: the source's name with the output extension in the output folder. With
    // overwriting off, or when the name would be the source file itself, a name that is taken
    // gets "-1", "-2", ... before the extension. Within a batch (ABatch), the batch's sources
    // and the names already given to its rows count as taken even with overwriting on. The
    // caption is the file name as it stands, blanks included. False when there is no output
    // format, no output folder or no source file name.
    bool BuildOutputName(const QString& ACaption, QString& AOutputFileName,
                         const TBatchOutputNames* ABatch = nullptr);

    // A reset record naming the source path (the caption, exactly), asking for the options'
    // codec thread count when it is not one thread. Cannot fail.
    void BuildInputOptions(const QString& ACaption, TInputOptions& AOptions) const;

    // Resets AOptions and fills it from the selected output format and the current list texts.
    // False when a list text that must be a number is not one, or no output format is selected.
    bool BuildOutputOptions(const TTaskRow& ARow, TOutputOptions& AOptions);

    // Reads the values of the video bitrate, audio bitrate, sampling rate and video size lists
    // into AOptions (the disc targets skip this step: their preset fixes those values). False
    // with the reason in LastErrMsg() when the chosen bitrate or rate item holds no number.
    bool ApplyProfileToOptions(TOutputOptions& AOptions);

    // The frame rate the task asks for: the chosen item's value (FrameRateValue).
    std::string ReadFrameRate() const;

    // The display aspect ratio of a "Video Size" cell such as "640x480", to 1/10000, as the
    // shortest decimal ("1.3333", "1.25", "2"). An empty cell counts as 640x480; a cell that
    // cannot be read gives "1.3333".
    static std::string AspectRatioOfSize(const QString& AVideoSize);

    // APath with its extension replaced by AExt (e.g. ".mp4") if no such file exists; otherwise
    // the first of base-1.ext, base-2.ext, ... that does not exist. Anything already at a name
    // (a folder, a dangling link) counts as existing, since none of them can be written as a file;
    // so does a name for which AAlsoTaken answers true.
    static QString UniqueOutputName(const QString& APath, const QString& AExt,
                                    const std::function<bool(const QString&)>& AAlsoTaken = {});

    const QString& LastErrMsg() const { return FLastErrMsg; }

private:
    QString OutputFolder() const;
    // The number the list's chosen item stands for, if any; throws when the item should hold one
    // and does not.
    static std::optional<int32_t> NumberOf(const TSettingsList& AList);

    const TConversionSettings& FSettings;
    const TAdditionalOptions& FOptions;
    const TVolumeSliders& FVolume;
    QString FLastErrMsg;
};

} // namespace vx
