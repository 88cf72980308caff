/* The entry points a frame-hook library exports, with C linkage. Include this header in
 * a hook library; it is plain C.
 *
 *   int  Configure(void** ctx, int argc, char* argv[]);   0 on success; argv[0] is the
 *        library's path, the rest the hook's own arguments (valid during the call only);
 *        *ctx is the hook's context
 *   void Process(void* ctx, TFrameHookPicture* picture, int pix_fmt, int width, int height,
 *                int64_t pts);                            pts in microseconds; the picture
 *        (library pixel format pix_fmt) may be changed in place
 *   void Release(void* ctx);                              when the job's files are closed
 *
 * Process is required; Configure is required when the hook is given arguments; Release
 * is optional. */
#ifndef VX_FRAME_HOOK_API_H
#define VX_FRAME_HOOK_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct TFrameHookPicture {
    uint8_t* data[4];
    int linesize[4];
} TFrameHookPicture;

typedef int (*TFrameHookConfigure)(void** ctx, int argc, char* argv[]);
typedef void (*TFrameHookProcess)(void* ctx, TFrameHookPicture* picture, int pix_fmt, int width, int height,
                                  int64_t pts);
typedef void (*TFrameHookRelease)(void* ctx);

#ifdef __cplusplus
}
#endif

#endif
