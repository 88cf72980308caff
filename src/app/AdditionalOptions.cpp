#include "AdditionalOptions.h"

#include <QThread>
#include <algorithm>
#include <stdexcept>
#include <string>

namespace vx {

void TAdditionalOptions::SetOverwrite(bool AValue) {
    if (AValue == FOverwrite)
        return;
    FOverwrite = AValue;
    emit OverwriteChanged(FOverwrite);
}

void TAdditionalOptions::SetDropDownItems(int AValue) {
    FDropDownItems = std::clamp(AValue, MinDropDownItems, MaxDropDownItems);
    emit DropDownItemsChanged(FDropDownItems);
}

void TAdditionalOptions::SetSimpleAdvanceSettings(int APosition) {
    if (APosition != SimpleSettings && APosition != AdvanceSettings)
        throw std::out_of_range("List index out of bounds (" + std::to_string(APosition) + ")");
    if (APosition == FSimpleAdvanceSettings)
        return;
    FSimpleAdvanceSettings = APosition;
    emit SimpleAdvanceSettingsChanged(FSimpleAdvanceSettings);
}

void TAdditionalOptions::SetCodecThreads(int ACount) {
    if (ACount < 0)
        throw std::out_of_range("Invalid thread count (" + std::to_string(ACount) + ")");
    if (ACount == FCodecThreads)
        return;
    FCodecThreads = ACount;
    emit CodecThreadsChanged(FCodecThreads);
}

int TAdditionalOptions::MaxSimultaneousConversions() {
    return std::max(QThread::idealThreadCount(), 1);
}

void TAdditionalOptions::SetSimultaneousConversions(int ACount) {
    const int count = std::clamp(ACount, 1, MaxSimultaneousConversions());
    if (count == FSimultaneous)
        return;
    FSimultaneous = count;
    emit SimultaneousConversionsChanged(FSimultaneous);
}

} // namespace vx
