// Stateless helpers that turn media facts into text and numbers: error texts, times,
// sizes, codec and stream descriptions, metadata look-ups, dates, and the multi-line
// description of an opened container.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/FFApi.h"

namespace vx {

// "<AName>: <message>" for a library error code (negated errno numbers included).
std::string ErrorText(const std::string& AName, int ACode);
// The message alone.
std::string ErrorMessage(int ACode);

// Microseconds as "hh:mm:ss.zzz" (hours not wrapped), "N/A" for AV_NOPTS_VALUE.
std::string TimeText(int64_t AMicroseconds);
// "1.50 KB", "2.00 MB", "3.25 GB" above each unit's size, else "<n> Byte".
std::string SizeText(int64_t ABytes);
// Microseconds of one frame; 40000 (25 fps) when the rate has a zero term.
int64_t FrameDuration(AVRational AFrameRate);

// The codec's name and long name, looked up by id on the encoder or decoder side;
// for a codec the library lacks, its descriptor name or its tag.
std::string CodecDescription(const AVCodecContext* AContext, bool AEncoder);
std::string CodecDescription(const AVCodecParameters* AParameters, bool AEncoder);
std::string CodecDescription(AVCodecID ACodecID, uint32_t ACodecTag, bool AEncoder);

std::string MediaTypeName(int AMediaType);
std::string PictureTypeName(int APictureType);

// The value of the first entry whose key is AKey (any case, no suffix matching).
std::string MetadataValue(const AVDictionary* ADict, const std::string& AKey,
                          const std::string& ADefault = {});

// Bytes of a regular file; -1 when it does not exist or cannot be examined.
int64_t FileSizeOf(const std::string& APath);

// The text before the first ADelimiter (all of it when there is none). With ARemove,
// AText keeps what follows the delimiter (nothing when there is none).
std::string SplitFirst(std::string& AText, const std::string& ADelimiter, bool ARemove);

// Reads the whole file into ABuffer with a terminating zero. Returns the bytes held,
// the terminator counted; -1 when the file cannot be opened or read, AVERROR(ENOMEM)
// when it does not fit in memory.
int64_t ReadWholeFile(const std::string& APath, std::vector<char>& ABuffer);

// The display name of a container-specific metadata key ("TIT2" -> "title").
std::string MetadataDisplayName(const std::string& AKey);
// The lines of a metadata block, each ending in "\n": nothing for an absent dictionary
// or one whose only entry is "language"; else "<indent>Metadata:" and one line per
// entry except "language".
std::string MetadataBlock(const AVDictionary* ADict, const std::string& AIndent);
// ", 29.97 fps", ", 25 tbr", ", 90k tbn".
std::string RateText(double AValue, const char* ASuffix);
// The one-line description of stream AIndex ("Stream #0, 1/25: Video: ...").
std::string StreamLine(const AVFormatContext* AContext, int AIndex);
// The container's creation time in Unix seconds; 0 when it does not say.
int64_t ContainerTimeStamp(const AVFormatContext* AContext);
// The multi-line description of an opened container, each line ending in "\n".
// AFileSize is what the caller knows of the file's size (-1 unknown).
std::string FileInfoText(const AVFormatContext* AContext, int64_t AFileSize);

} // namespace vx
