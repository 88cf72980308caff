// File names at the border to the media libraries, and the "unicode:" URL scheme.
//
// File names are UTF-16 text in the components' interfaces (what the front end holds);
// the libraries take UTF-8 bytes. Each conversion returns its own string, so threads
// converting at the same time never share a buffer.
//
// A "unicode:" URL names a local file by path after the scheme ("unicode:/tmp/a b.avi").
// The engine opens such a URL itself, through an AVIOContext over a file descriptor.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct AVIOContext;

namespace vx {

using TFileName = std::u16string;

// Linux file names are bytes and need not be UTF-8. A byte that is not part of valid UTF-8
// travels as the lone surrogate U+DC00 + byte (U+DC80..U+DCFF), so that every name survives
// the round trip bytes -> text -> bytes. Other unpaired surrogates become U+FFFD.
std::string FileNameToUTF8(std::u16string_view AName);
TFileName UTF8ToFileName(std::string_view ABytes);

inline constexpr std::string_view UnicodeScheme = "unicode:";
bool IsUnicodeURL(std::string_view AURL);
// The local path that a "unicode:" URL names: everything after the scheme.
std::string UnicodeURLPath(std::string_view AURL);
// The local path behind a URL the engine opens: the path of a "unicode:" or "file:" URL,
// else the URL itself (a plain path, or a URL of another protocol).
std::string LocalPath(std::string_view AURL);

// Opens the file of a "unicode:" URL with the library's AVIO_FLAG_* flags: read needs
// an existing file; write (alone or with read) creates or empties it. Returns 0 and the
// context, or a negative library error code (AVERROR(ENOENT), that is -2, for a file
// that does not exist).
int UnicodeOpen(std::string_view AURL, int AFlags, AVIOContext** APB);
// Creates APath (a local path, no scheme) for writing; it must not exist yet (O_EXCL), so that
// two writers never share a file. Returns 0 and the context, or a negative error code
// (AVERROR(EEXIST) when the name is taken).
int UnicodeCreateNew(const std::string& APath, AVIOContext** APB);
// Flushes a writing context, closes the descriptor and frees the context; *APB = null.
// Returns 0, or a negative error code when flushing or closing failed.
int UnicodeClose(AVIOContext** APB);
bool IsUnicodeIO(const AVIOContext* APB);

} // namespace vx
