#include "UnicodeProtocol.h"

#include <cerrno>

#include "FFApi.h"

namespace vx {
namespace {

constexpr int IOBufferSize = 64 * 1024;

struct TUnicodeFile {
    int Fd;
};

int UnicodeRead(void* AOpaque, uint8_t* ABuffer, int ASize) {
    const ssize_t n = ff::read(static_cast<TUnicodeFile*>(AOpaque)->Fd, ABuffer, static_cast<size_t>(ASize));
    if (n < 0)
        return AVERROR(errno);
    return n == 0 ? AVERROR_EOF : static_cast<int>(n);
}

int UnicodeWrite(void* AOpaque, uint8_t* ABuffer, int ASize) {
    const int fd = static_cast<TUnicodeFile*>(AOpaque)->Fd;
    int done = 0;
    while (done < ASize) {
        const ssize_t n = ff::write(fd, ABuffer + done, static_cast<size_t>(ASize - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return AVERROR(errno); // a full disk reaches the muxer as ENOSPC
        }
        done += static_cast<int>(n);
    }
    return done;
}

int64_t UnicodeSeek(void* AOpaque, int64_t AOffset, int AWhence) {
    const int fd = static_cast<TUnicodeFile*>(AOpaque)->Fd;
    if (AWhence & AVSEEK_SIZE) {
        struct stat st;
        if (ff::fstat(fd, &st) != 0)
            return AVERROR(errno);
        return st.st_size;
    }
    const off_t pos = ff::lseek(fd, AOffset, AWhence & ~AVSEEK_FORCE);
    return pos < 0 ? AVERROR(errno) : pos;
}

constexpr char32_t InvalidUTF8 = 0xFFFFFFFF;

// The code point of the UTF-8 sequence at AAt, or InvalidUTF8 for a byte that starts none
// (a stray continuation byte, a cut sequence, an overlong form, a surrogate, beyond U+10FFFF).
char32_t DecodeUTF8At(std::string_view ABytes, size_t AAt) {
    const auto lead = static_cast<unsigned char>(ABytes[AAt]);
    int extra;
    char32_t c;
    if (lead < 0x80)
        return lead;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        c = lead & 0x07;
    } else {
        return InvalidUTF8;
    }
    if (AAt + extra >= ABytes.size())
        return InvalidUTF8;
    for (int k = 1; k <= extra; ++k) {
        const auto cont = static_cast<unsigned char>(ABytes[AAt + k]);
        if ((cont & 0xC0) != 0x80)
            return InvalidUTF8;
        c = (c << 6) | (cont & 0x3F);
    }
    static constexpr char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (c < minimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return InvalidUTF8;
    return c;
}

} // namespace

std::string FileNameToUTF8(std::u16string_view AName) {
    std::string out;
    out.reserve(AName.size());
    for (size_t i = 0; i < AName.size(); ++i) {
        char32_t c = AName[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < AName.size() && AName[i + 1] >= 0xDC00 &&
            AName[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (AName[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            out += static_cast<char>(c - 0xDC00); // a byte of a name that is not UTF-8
            continue;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

TFileName UTF8ToFileName(std::string_view ABytes) {
    TFileName out;
    out.reserve(ABytes.size());
    for (size_t i = 0; i < ABytes.size();) {
        const auto lead = static_cast<unsigned char>(ABytes[i]);
        const char32_t c = DecodeUTF8At(ABytes, i);
        if (c == InvalidUTF8) {
            // Linux names are bytes: a byte that starts no valid sequence is kept as the lone
            // surrogate U+DC80..U+DCFF, which FileNameToUTF8 turns back into the same byte.
            out += static_cast<char16_t>(0xDC00 + lead);
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            const char32_t v = c - 0x10000;
            out += static_cast<char16_t>(0xD800 + (v >> 10));
            out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    }
    return out;
}

bool IsUnicodeURL(std::string_view AURL) {
    return AURL.substr(0, UnicodeScheme.size()) == UnicodeScheme;
}

std::string UnicodeURLPath(std::string_view AURL) {
    return std::string(IsUnicodeURL(AURL) ? AURL.substr(UnicodeScheme.size()) : AURL);
}

std::string LocalPath(std::string_view AURL) {
    constexpr std::string_view fileScheme = "file:";
    if (IsUnicodeURL(AURL))
        return UnicodeURLPath(AURL);
    return std::string(AURL.substr(0, fileScheme.size()) == fileScheme ? AURL.substr(fileScheme.size())
                                                                       : AURL);
}

namespace {

// Wraps an open descriptor in a context of the engine's own I/O; the descriptor is closed when
// that fails.
int WrapDescriptor(int AFd, bool AWriting, AVIOContext** APB) {
    auto* buffer = static_cast<uint8_t*>(ff::av_malloc(IOBufferSize));
    auto* file = new TUnicodeFile{AFd};
    AVIOContext* pb = buffer ? ff::avio_alloc_context(buffer, IOBufferSize, AWriting ? 1 : 0, file,
                                                      &UnicodeRead, &UnicodeWrite, &UnicodeSeek)
                             : nullptr;
    if (!pb) {
        ff::av_free(buffer);
        delete file;
        ff::close(AFd);
        return AVERROR(ENOMEM);
    }
    *APB = pb;
    return 0;
}

} // namespace

int UnicodeOpen(std::string_view AURL, int AFlags, AVIOContext** APB) {
    *APB = nullptr;
    const std::string path = UnicodeURLPath(AURL);
    const bool writing = AFlags & AVIO_FLAG_WRITE;
    int mode = O_RDONLY;
    if (writing)
        mode = ((AFlags & AVIO_FLAG_READ) ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
    const int fd = ff::open(path.c_str(), mode | O_CLOEXEC, 0666);
    if (fd < 0)
        return AVERROR(errno);
    return WrapDescriptor(fd, writing, APB);
}

int UnicodeCreateNew(const std::string& APath, AVIOContext** APB) {
    *APB = nullptr;
    const int fd = ff::open(APath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return AVERROR(errno);
    return WrapDescriptor(fd, true, APB);
}

int UnicodeClose(AVIOContext** APB) {
    AVIOContext* pb = *APB;
    if (!pb)
        return 0;
    *APB = nullptr;
    if (pb->write_flag)
        ff::avio_flush(pb);
    int result = pb->error < 0 ? pb->error : 0;
    auto* file = static_cast<TUnicodeFile*>(pb->opaque);
    ff::av_free(pb->buffer);
    ff::avio_context_free(&pb);
    if (ff::close(file->Fd) != 0 && result == 0)
        result = AVERROR(errno);
    delete file;
    return result;
}

bool IsUnicodeIO(const AVIOContext* APB) {
    return APB && APB->seek == &UnicodeSeek;
}

} // namespace vx
