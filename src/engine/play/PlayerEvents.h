// The events that a playback's threads post to the play thread's SDL event loop.
#pragma once

namespace vx {

// SDL_USEREVENT codes. data1 of peAllocPicture is the picture queue slot.
enum TPlayerEventCode {
    peAllocPicture = 24,   // make the texture of a picture queue entry
    peRefresh = 25,        // show the pictures whose time has come
    peQuit = 26,           // end the playback
    peResetVideoMode = 27, // the display settings changed: draw again
    peResizeScreen = 28,   // the target window changed its size
};

} // namespace vx
