#include "SimpleViewLink.h"

#include "ConversionSettings.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace vx {

namespace {

// The positions of the items that are rates, from the lowest rate to the highest.
std::vector<int> RatePositions(const TSettingsList& ABitrates) {
    std::vector<int> positions;
    for (int i = 0; i < ABitrates.Count(); ++i) {
        const TSettingValue& value = ABitrates.ValueAt(i);
        if (value.Readable && value.Number && *value.Number > 0)
            positions.push_back(i);
    }
    std::stable_sort(positions.begin(), positions.end(), [&ABitrates](int A, int B) {
        return *ABitrates.ValueAt(A).Number < *ABitrates.ValueAt(B).Number;
    });
    return positions;
}

// Where a word lies among N rates ordered from the lowest: Lowest at 0, Highest at N - 1.
int RankOfQuality(int AQuality, int ACount) {
    const double share = double(TSimpleViewLink::Lowest - AQuality) / TSimpleViewLink::Lowest;
    return static_cast<int>(std::lround(share * (ACount - 1)));
}

} // namespace

TSimpleViewLink::TSimpleViewLink(TConversionSettings& ASettings, QObject* AParent)
    : QObject(AParent), FSettings(ASettings) {
    TConversionSettings& s = FSettings;
    const std::pair<TSettingsList*, TSettingsList*> mirrored[] = {
        {&s.ComboBoxVideoSize, &s.ComboVideoSize},
        {&s.ComboBoxVideoFramerate, &s.ComboVideoFramerate},
        {&s.ComboBoxAudioChannels, &s.ComboAudioChannels},
    };
    for (const auto& [simple, advanced] : mirrored) {
        connect(simple, &TSettingsList::ItemIndexChanged, this,
                [this, simple, advanced] { Mirror(*simple, *advanced); });
        connect(advanced, &TSettingsList::ItemIndexChanged, this,
                [this, simple, advanced] { Mirror(*advanced, *simple); });
    }
    const std::pair<TSettingsList*, TSettingsList*> rated[] = {
        {&s.ComboBoxVideoQuality, &s.ComboVideoBitrate},
        {&s.ComboBoxAudioQuality, &s.ComboAudioBitrate},
    };
    for (const auto& [quality, bitrates] : rated) {
        connect(quality, &TSettingsList::ItemIndexChanged, this,
                [this, quality, bitrates] { QualityChosen(*quality, *bitrates); });
        connect(bitrates, &TSettingsList::ItemIndexChanged, this,
                [this, quality, bitrates] { BitrateChosen(*bitrates, *quality); });
    }
}

int TSimpleViewLink::BitrateIndexOfQuality(const TSettingsList& ABitrates, int AQuality) {
    const std::vector<int> rates = RatePositions(ABitrates);
    if (rates.empty() || AQuality < Highest || AQuality > Lowest)
        return -1;
    return rates[static_cast<size_t>(RankOfQuality(AQuality, static_cast<int>(rates.size())))];
}

int TSimpleViewLink::QualityOfBitrateIndex(const TSettingsList& ABitrates, int ABitrateIndex) {
    const std::vector<int> rates = RatePositions(ABitrates);
    const auto at = std::find(rates.begin(), rates.end(), ABitrateIndex);
    if (at == rates.end())
        return -1;
    const int rank = static_cast<int>(at - rates.begin());
    int best = Highest;
    for (int quality = Highest + 1; quality <= Lowest; ++quality)
        if (std::abs(RankOfQuality(quality, static_cast<int>(rates.size())) - rank) <
            std::abs(RankOfQuality(best, static_cast<int>(rates.size())) - rank))
            best = quality;
    return best;
}

void TSimpleViewLink::SetSimpleViewShown(bool AShown) {
    FSimpleShown = AShown;
    if (!FSimpleShown)
        return;
    BitrateChosen(FSettings.ComboVideoBitrate, FSettings.ComboBoxVideoQuality);
    BitrateChosen(FSettings.ComboAudioBitrate, FSettings.ComboBoxAudioQuality);
}

void TSimpleViewLink::Mirror(TSettingsList& AFrom, TSettingsList& ATo) {
    // While a format change refills them the two lists differ for a moment; the simple one
    // then takes the advanced one over whole.
    if (FMoving || AFrom.Items() != ATo.Items())
        return;
    FMoving = true;
    ATo.SetItemIndex(AFrom.ItemIndex());
    FMoving = false;
}

void TSimpleViewLink::QualityChosen(TSettingsList& AQuality, TSettingsList& ABitrates) {
    if (FMoving)
        return;
    const int bitrate = BitrateIndexOfQuality(ABitrates, AQuality.ItemIndex());
    if (bitrate < 0)
        return;
    FMoving = true;
    ABitrates.SetItemIndex(bitrate);
    FMoving = false;
}

void TSimpleViewLink::BitrateChosen(TSettingsList& ABitrates, TSettingsList& AQuality) {
    if (FMoving)
        return;
    const int quality = QualityOfBitrateIndex(ABitrates, ABitrates.ItemIndex());
    FMoving = true;
    if (quality >= 0 && quality < AQuality.Count())
        AQuality.SetItemIndex(quality);
    // The simple view shows the word: the rate is the word's.
    if (FSimpleShown && AQuality.ItemIndex() >= 0) {
        const int bitrate = BitrateIndexOfQuality(ABitrates, AQuality.ItemIndex());
        if (bitrate >= 0)
            ABitrates.SetItemIndex(bitrate);
    }
    FMoving = false;
}

} // namespace vx
