#include "decode/Previewer.h"

#include "decode/FFUtils.h"

namespace vx {

TPreviewer::~TPreviewer() {
    if (FForm)
        PlatformBridge().CallInMainThread([this] { FForm.reset(); });
}

bool TPreviewer::PaintFrame(const TBitmap* ABitmap, int32_t /*AFrameNumber*/, int64_t APTS) {
    if (FClosed)
        return false;
    FBitmap = ABitmap;
    FPTS = APTS;
    PlatformBridge().CallInMainThread([this] { Paint(); });
    return !FClosed;
}

void TPreviewer::Paint() {
    if (!FForm)
        FForm = PlatformBridge().CreatePreviewWindow();
    if (!FForm || FForm->Closed()) {
        FClosed = true;
        return;
    }
    FForm->Paint(*FBitmap, TimeText(FPTS));
}

} // namespace vx
