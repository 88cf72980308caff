// The batch driver's user interface where there is no window (the command line, the batch
// benchmark): the output folder comes from the settings and there is nothing to show. Each
// user says how questions and messages are answered.
#pragma once

#include "BatchDriver.h"
#include "ConversionSettings.h"

namespace vx {

class THeadlessBatchUI : public TBatchUI {
public:
    // ASettings must outlive this object.
    explicit THeadlessBatchUI(const TConversionSettings& ASettings) : FSettings(ASettings) {}

    QString OutputFolder() const override { return FSettings.OutputFolder(); }
    void BrowseOutputFolder() override {}
    void SetControlsEnabled(bool) override {}
    void SetProgressPosition(int) override {}
    void SetStatusText(int, const QString&) override {}
    void ScrollToRow(int) override {}

private:
    const TConversionSettings& FSettings;
};

} // namespace vx
