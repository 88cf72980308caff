// The engine's records as JSON objects, every field under its own name and in declaration order.
#pragma once

#include "Json.h"

#include "decode/FFDecode.h"
#include "encode/FFEncodeRecords.h"

namespace vx::cli {

// Enumerations by their value names.
const char* TargetTypeName(TOptionTargetType AValue);
const char* NormTypeName(TOptionNormType AValue);

void WriteInputOptions(TJsonWriter& AJson, const TInputOptions& AOptions);
void WriteOutputOptions(TJsonWriter& AJson, const TOutputOptions& AOptions);

void WriteFileStreamInfo(TJsonWriter& AJson, const TFileStreamInfo& AInfo);
// Pixel and sample formats by the library's names (null when none); FrameRate as num and den.
void WriteVideoStreamInfo(TJsonWriter& AJson, const TVideoStreamInfo& AInfo);
void WriteAudioStreamInfo(TJsonWriter& AJson, const TAudioStreamInfo& AInfo);
void WriteSubtitleStreamInfo(TJsonWriter& AJson, const TSubtitleStreamInfo& AInfo);

} // namespace vx::cli
