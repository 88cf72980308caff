// Keeps the simple settings view and the advanced one in step, both ways, so that whichever
// view is shown, what it shows is what the task gets (the task reads the advanced lists).
//
// The simple size, frame rate and channel lists hold the same items as their advanced
// counterparts and follow each other's position. The quality words stand for the current
// entry's own bit rates: "Highest" is the highest item of the bit rate list, "Lowest" the
// lowest, and "Higher", "Normal", "Lower" lie at a quarter, half and three quarters of the way
// down the items ordered by rate. Choosing a word chooses its bit rate; choosing a bit rate
// shows the nearest word. While the simple view is shown a bit rate that no word stands for
// (an entry's default, say) moves to its nearest word's rate, so the word is the truth.
#pragma once

#include <QObject>

namespace vx {

class TConversionSettings;
class TSettingsList;

class TSimpleViewLink : public QObject {
    Q_OBJECT
public:
    // The quality words' positions in the quality lists.
    static constexpr int Highest = 0;
    static constexpr int Lowest = 4;

    // ASettings must outlive the link.
    explicit TSimpleViewLink(TConversionSettings& ASettings, QObject* AParent = nullptr);

    // Which view is shown. Showing the simple one brings the bit rates to the words.
    void SetSimpleViewShown(bool AShown);
    bool SimpleViewShown() const { return FSimpleShown; }

    // The position in ABitrates that the quality word at AQuality stands for; -1 when the list
    // holds no rate ("Auto", "Original" or nothing).
    static int BitrateIndexOfQuality(const TSettingsList& ABitrates, int AQuality);
    // The word nearest to the rate at ABitrateIndex (the higher word on a tie); -1 when that item
    // is no rate.
    static int QualityOfBitrateIndex(const TSettingsList& ABitrates, int ABitrateIndex);

private:
    void Mirror(TSettingsList& AFrom, TSettingsList& ATo);
    void QualityChosen(TSettingsList& AQuality, TSettingsList& ABitrates);
    void BitrateChosen(TSettingsList& ABitrates, TSettingsList& AQuality);

    TConversionSettings& FSettings;
    bool FSimpleShown = true;
    // Set while the link itself moves a list, so that the move does not come back.
    bool FMoving = false;
};

} // namespace vx
