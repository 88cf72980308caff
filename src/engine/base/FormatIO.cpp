#include "FormatIO.h"

#include <sys/stat.h>

#include "InterruptCB.h"
#include "UnicodeProtocol.h"

namespace vx {
namespace {

// A local name that opening could block on for ever: a FIFO without a writer, a socket,
// a terminal. The interrupt callback covers reading, not the open call of the system.
bool IsBlockingSpecialFile(const std::string& AURL) {
    const std::string path = LocalPath(AURL);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false; // not on disk: a URL of another protocol, or missing
    return S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode);
}

} // namespace

int OpenInputFile(AVFormatContext** ACtx, const std::string& AURL, const AVInputFormat* AFormat,
                  AVDictionary** AOptions) {
    *ACtx = nullptr;
    if (IsBlockingSpecialFile(AURL))
        return AVERROR(EINVAL);
    AVFormatContext* ctx = ff::avformat_alloc_context();
    if (!ctx)
        return AVERROR(ENOMEM);
    ctx->interrupt_callback = EngineInterruptCB();
    AVIOContext* pb = nullptr;
    if (IsUnicodeURL(AURL)) {
        const int ret = UnicodeOpen(AURL, AVIO_FLAG_READ, &pb);
        if (ret < 0) {
            ff::avformat_free_context(ctx);
            return ret;
        }
        ctx->pb = pb;
        ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    // On failure the library frees the context, but never I/O that it did not open.
    const int ret = ff::avformat_open_input(&ctx, AURL.c_str(), AFormat, AOptions);
    if (ret < 0) {
        UnicodeClose(&pb);
        return ret;
    }
    *ACtx = ctx;
    return 0;
}

void CloseInputFile(AVFormatContext** ACtx) {
    if (!*ACtx)
        return;
    AVIOContext* ownIO = IsUnicodeIO((*ACtx)->pb) ? (*ACtx)->pb : nullptr;
    ff::avformat_close_input(ACtx);
    UnicodeClose(&ownIO);
}

int OpenOutputIO(AVIOContext** APB, const std::string& AURL, int AFlags, AVDictionary** AOptions) {
    if (IsUnicodeURL(AURL))
        return UnicodeOpen(AURL, AFlags, APB);
    const AVIOInterruptCB callback = EngineInterruptCB();
    return ff::avio_open2(APB, AURL.c_str(), AFlags, &callback, AOptions);
}

int CloseOutputIO(AVIOContext** APB) {
    if (IsUnicodeIO(*APB))
        return UnicodeClose(APB);
    return ff::avio_closep(APB);
}

} // namespace vx
