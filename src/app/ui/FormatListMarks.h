// Greys out the formats of the format list that this build of the media libraries cannot
// write, each with the reason as its tooltip, so that nobody picks one only to see every
// row fail.
#pragma once

class QComboBox;

namespace vx {

// The libraries must be loaded and the list filled.
void MarkUnavailableFormats(QComboBox* AFormatList);

} // namespace vx
