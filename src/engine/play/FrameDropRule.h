// Whether the display shows the picture whose time has come or drops it as late.
#pragma once

namespace vx {

struct TFrameDropInput {
    int FrameDrop = -1; // -1: drop only when there is sound to keep up with; 0 never; > 0 always
    bool HasAudio = false;
    bool IsDevice = false;  // a capture device is never dropped from
    double Now = 0;         // seconds
    double Next = 0;        // when the picture after this one is due
    int Queued = 1;         // pictures waiting, this one included
    bool AfterSeek = false; // stale pictures of a seek or flush are dropped
};

// The picture is late: its successor is already due.
inline bool PictureLate(const TFrameDropInput& A) {
    const bool mayDrop = A.FrameDrop > 0 || (A.FrameDrop != 0 && A.HasAudio);
    return mayDrop && A.Now > A.Next && !A.IsDevice;
}

// True: drop the picture (and look at the next one).
inline bool DropPicture(const TFrameDropInput& A) {
    if (!PictureLate(A) && !A.AfterSeek)
        return false;
    // The last picture is still shown when it is less than half a second late.
    if (A.Queued == 1 && A.Now <= A.Next + 0.5 && !A.AfterSeek)
        return false;
    return true;
}

} // namespace vx
