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

// Unpaired surrogates become U+FFFD.
std::string FileNameToUTF8(std::u16string_view AName);
// Invalid UTF-8 gives an empty text.
TFileName UTF8ToFileName(std::string_view ABytes);

inline constexpr std::string_view UnicodeScheme = "unicode:";
bool IsUnicodeURL(std::string_view AURL);
// The local path that a "unicode:" URL names: everything after the scheme.
std::string UnicodeURLPath(std::string_view AURL);

// Opens the file of a "unicode:" URL with the library's AVIO_FLAG_* flags: read needs
// an existing file; write (alone or with read) creates or empties it. Returns 0 and the
// context, or a negative library error code (AVERROR(ENOENT), that is -2, for a file
// that does not exist).
int UnicodeOpen(std::string_view AURL, int AFlags, AVIOContext** APB);
// Flushes a writing context, closes the descriptor and frees the context; *APB = null.
// Returns 0, or a negative error code when flushing or closing failed.
int UnicodeClose(AVIOContext** APB);
bool IsUnicodeIO(const AVIOContext* APB);

} // namespace vx
