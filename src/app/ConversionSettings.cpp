#include "ConversionSettings.h"

#include "AdditionalOptions.h"
#include "ProfileTables.h"

#include <stdexcept>
#include <string>

namespace vx {

namespace {

const QStringList QualityItems = {"Highest", "Higher", "Normal", "Lower", "Lowest"};
const QStringList ChannelItems = {"Stereo", "Mono"};
constexpr int StereoPosition = 0;
constexpr int MonoPosition = 1;

void FillFromProfile(TSettingsList& AList, const TProfileList& AProfileList) {
    AList.Fill(AProfileList.Items, AProfileList.Default);
}

// Mobile formats carry a single audio channel by default.
bool IsMobileFormat(const QString& AText) {
    return AText.contains(QLatin1String("3GP")) || AText.contains(QLatin1String("3G2"));
}

} // namespace

TConversionSettings::TConversionSettings(QObject* AParent) : QObject(AParent) {}

void TConversionSettings::SetOutputFolder(const QString& AFolder) {
    if (AFolder == FOutputFolder)
        return;
    FOutputFolder = AFolder;
    emit OutputFolderChanged(FOutputFolder);
}

QString TConversionSettings::OutputExtension() const {
    return FCurrentOutputFormat.isEmpty() ? QString() : "." + FCurrentOutputFormat.toLower();
}

void TConversionSettings::SetAdditionalOptions(TAdditionalOptions* AOptions) {
    if (FOptions)
        disconnect(FOptions, nullptr, this, nullptr);
    FOptions = AOptions;
    if (FOptions)
        connect(FOptions, &TAdditionalOptions::DropDownItemsChanged, this,
                &TConversionSettings::SpinEdit1Change);
}

void TConversionSettings::SpinEdit1Change(int AValue) {
    FCurrentComboDropDownItem = AValue;
    ComboOutputFormat.SetDropDownCount(AValue);
}

int TConversionSettings::DropDownItemsOrFallback() const {
    return FOptions ? FOptions->DropDownItems() : FallbackDropDownCount;
}

void TConversionSettings::FillStartupLists() {
    FillComboOutputFormat();
    ComboOutputFormat.SetDropDownCount(FallbackDropDownCount);
    FillGeneralLists();
    ComboAudioChannels.SetItems(ChannelItems, StereoPosition);
    FillQualityLists();
}

void TConversionSettings::FillComboOutputFormat() {
    const QStringList items = FormatListItems();
    ComboOutputFormat.SetItems(items, 0);
    ComboOutputFormat.SetDropDownCount(static_cast<int>(items.size()));
}

void TConversionSettings::ComboOutputFormatChange() {
    const QString text = ComboOutputFormat.Text();
    if (IsFormatListSeparator(text)) {
        ComboOutputFormat.SetItemIndex(FLastFormatIndex);
        return;
    }

    if (const TheAVCodec* codec = FindAVCodec(text)) {
        FCurrentOutputFormat = codec->OutFormat;
        FillProfileLists(codec->Number);
    }

    if (FOutputColumn)
        for (int row = 0, rows = FOutputColumn->RowCount(); row < rows; ++row)
            FOutputColumn->SetOutputText(row, FCurrentOutputFormat);

    ComboOutputFormat.SetDropDownCount(DropDownItemsOrFallback());
    FLastFormatIndex = ComboOutputFormat.ItemIndex();

    ComboBoxVideoSize.Assign(ComboVideoSize);
    ComboBoxVideoFramerate.Assign(ComboVideoFramerate);
    ComboBoxAudioChannels.Assign(ComboAudioChannels);

    // Both channel lists hold "Stereo", "Mono" once the start-up filling has run.
    const int channels = IsMobileFormat(text) ? MonoPosition : StereoPosition;
    if (channels < ComboAudioChannels.Count())
        ComboAudioChannels.SetItemIndex(channels);
    if (channels < ComboBoxAudioChannels.Count())
        ComboBoxAudioChannels.SetItemIndex(channels);
}

void TConversionSettings::ComboOutputFormatDropDown() {
    ComboOutputFormat.SetDropDownCount(DropDownItemsOrFallback());
}

void TConversionSettings::SelectOutputFormat(int APosition) {
    ComboOutputFormat.SetItemIndex(APosition);
    ComboOutputFormatChange();
}

void TConversionSettings::FillProfileLists(int ANumber) {
    const TProfile* profile = FindProfile(ANumber);
    if (!profile)
        throw std::invalid_argument("No output profile " + std::to_string(ANumber));
    FillFromProfile(ComboVideoCodec, profile->VideoCodec);
    FillFromProfile(ComboVideoSize, profile->VideoSize);
    FillFromProfile(ComboVideoBitrate, profile->VideoBitrate);
    FillFromProfile(ComboVideoFramerate, profile->VideoFramerate);
    FillFromProfile(ComboAudioCodec, profile->AudioCodec);
    FillFromProfile(ComboAudioBitrate, profile->AudioBitrate);
    FillFromProfile(ComboSamplingRate, profile->SamplingRate);
    if (ComboAspectRatio.Count() > 0)
        ComboAspectRatio.SetItemIndex(0);
}

void TConversionSettings::FillQualityLists() {
    ComboBoxVideoQuality.SetItems(QualityItems, 0);
    ComboBoxAudioQuality.SetItems(QualityItems, 0);
}

void TConversionSettings::FillGeneralLists() {
    // "4:3 (Standard" lacks its closing parenthesis on purpose: it is the list's established text.
    TSettingValue standard, wide;
    standard.Text = "4:3";
    wide.Text = "16:9";
    ComboAspectRatio.SetValuedItems(
        {{"Original", TSettingValue()}, {"4:3 (Standard", standard}, {"16:9 (Wide Screen)", wide}}, 0);
    ComboLetterBox.SetItems({"None", "LetterBox"}, 0);
}

} // namespace vx
