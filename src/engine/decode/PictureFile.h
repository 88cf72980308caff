// A decoded picture as the bytes of a PNG file, scaled to a chosen width.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "decode/FFDecode.h"

namespace vx {

// The picture scaled to AWidth pixels wide (0 or less: its own width), its height in
// proportion, encoded as PNG. False with the reason in AError.
bool EncodePng(const TFrameInfo& AFrame, int AWidth, std::vector<uint8_t>& APng, std::string& AError);

} // namespace vx
