// The window's conversion choices apart from any widget: the output folder, the format list, the
// advanced and simple settings lists and the general lists, with the rules that tie them together
// when another output format is chosen.
#pragma once

#include "OutputCatalogue.h"
#include "SettingsList.h"

#include <QObject>
#include <QString>

namespace vx {

class TAdditionalOptions;

// The "Output" column of the job list, as far as the format choice needs it. The job list
// implements it; keeping it this small lets the format logic run without a list model at all.
class IOutputColumn {
public:
    virtual ~IOutputColumn() = default;
    virtual int RowCount() const = 0;
    virtual void SetOutputText(int ARow, const QString& AText) = 0;
};

class TConversionSettings : public QObject {
    Q_OBJECT
public:
    // Drop-down length of the format list when the options dialog cannot be asked.
    static constexpr int FallbackDropDownCount = 25;

    explicit TConversionSettings(QObject* AParent = nullptr);

    // "Set Output Format :"
    TSettingsList ComboOutputFormat{QStringLiteral("Set Output Format :")};

    // Advanced panel. The lists of numbers, sizes and rates keep each item's value.
    TSettingsList ComboVideoCodec{QStringLiteral("Video Codec : ")};
    TSettingsList ComboVideoSize{QStringLiteral("Video Size : "), FrameSizeValue};
    TSettingsList ComboVideoBitrate{QStringLiteral("Video Bitrate : "), VideoBitrateValue};
    TSettingsList ComboVideoFramerate{QStringLiteral("Video Framerate : "), FrameRateValue};
    TSettingsList ComboAudioCodec{QStringLiteral("Audio Codec : ")};
    TSettingsList ComboAudioBitrate{QStringLiteral("Audio Bitrate :"), AudioBitrateValue};
    TSettingsList ComboAudioChannels{QStringLiteral("Audio Channels :")};
    TSettingsList ComboSamplingRate{QStringLiteral("Sampling Rate : "), SampleRateValue};

    // General settings. Each aspect ratio item carries its ratio ("4:3"); "Original" none.
    TSettingsList ComboLetterBox{QStringLiteral("Letterbox : ")};
    TSettingsList ComboAspectRatio{QStringLiteral("Aspect Ratio : ")};
    static inline const QString LetterBoxHint = QStringLiteral("Add a letterbox to keep video aspect ratio");

    // Simple panel: two quality lists of their own, the rest mirror the advanced panel.
    TSettingsList ComboBoxVideoQuality{QStringLiteral("Video Quality : ")};
    TSettingsList ComboBoxVideoSize{QStringLiteral("Video Size : "), FrameSizeValue};
    TSettingsList ComboBoxVideoFramerate{QStringLiteral("Video Framerate :"), FrameRateValue};
    TSettingsList ComboBoxAudioQuality{QStringLiteral("Audio Quality : ")};
    TSettingsList ComboBoxAudioChannels{QStringLiteral("Audio Channels :")};

    // Text of the output folder field (EditOutputFolder).
    const QString& OutputFolder() const { return FOutputFolder; }
    void SetOutputFolder(const QString& AFolder);

    // The folder that source files were last added from; the "Add File" dialog opens there.
    const QString& SourceFolder() const { return FSourceFolder; }
    void SetSourceFolder(const QString& AFolder) { FSourceFolder = AFolder; }

    // OutFormat of the entry applied last; empty until the first one is applied.
    const QString& CurrentOutputFormat() const { return FCurrentOutputFormat; }
    // "." and the lower-cased CurrentOutputFormat, e.g. ".mpg"; empty while no entry is applied.
    QString OutputExtension() const;
    // The catalogue entry selected in the format list; nullptr on a separator or with no selection.
    const TheAVCodec* SelectedAVCodec() const { return FindAVCodec(ComboOutputFormat.Text()); }
    // Position of the format list that a separator choice returns to.
    int LastFormatIndex() const { return FLastFormatIndex; }
    // Drop-down length last set from the options dialog.
    int CurrentComboDropDownItem() const { return FCurrentComboDropDownItem; }

    // Where the format change writes the short format name; nullptr: no list to write to.
    void SetOutputColumn(IOutputColumn* AColumn) { FOutputColumn = AColumn; }
    // The options whose drop-down length the format list follows; nullptr: the list uses 25.
    // The options must outlive this object or be detached first.
    void SetAdditionalOptions(TAdditionalOptions* AOptions);

    // Start-up filling: the format list (drop-down length 25 afterwards), the letterbox and
    // aspect ratio lists, the channel list and the quality lists.
    void FillStartupLists();

    // Fills the format list with its 45 items, sizes the drop-down to them and selects position 0.
    void FillComboOutputFormat();
    // Applies the entry selected in the format list (a separator returns to the previous entry).
    void ComboOutputFormatChange();
    // The format list is being opened.
    void ComboOutputFormatDropDown();
    // Selects a position of the format list and applies it, as a user's choice does.
    void SelectOutputFormat(int APosition);

    // Fills the seven per-profile lists for a catalogue entry's Number and selects their defaults.
    // A number that no entry uses throws std::invalid_argument.
    void FillProfileLists(int ANumber);
    void FillQualityLists();
    void FillGeneralLists();

signals:
    void OutputFolderChanged(const QString& AFolder);

private:
    void SpinEdit1Change(int AValue);
    int DropDownItemsOrFallback() const;

    TAdditionalOptions* FOptions = nullptr;
    IOutputColumn* FOutputColumn = nullptr;
    QString FOutputFolder;
    QString FSourceFolder;
    QString FCurrentOutputFormat;
    int FLastFormatIndex = 0;
    int FCurrentComboDropDownItem = 0;
};

} // namespace vx
