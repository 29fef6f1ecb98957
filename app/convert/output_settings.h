// Turns the options dialog's settings into the engine's input and output
// records: which field each control sets, the fixed codec choices, the
// range, and the output file's name.
#pragma once

#include <string>

#include "media/engine/engine_records.h"
#include "option_fields.h"

namespace kestrova::convert {

// The range takes effect only when its box is enabled and checked and the
// end lies after the start.
bool RangeApplies(const OptionFields& fields);

// The input record: the chosen file, its forced format, and the range's
// start when the range applies.
media::TInputOptions getInputOptions(const OptionFields& fields);

// The output record, an MP4 with H.264 and AAC named after the thumbnail in
// the output folder. Numbers that cannot be read fall back quietly (sample
// rate 22050, video 200 kbit/s, audio 64 kbit/s, volume not set).
media::TOutputOptions getOutputOptions(const OptionFields& fields);

// folder + thumbName + ext; when a file of that name exists, nothing is
// overwritten: folder + the input's name without its extension +
// "_(new_N)" + ext with the smallest N from 1 that names no file.
std::string OutputFileName(const std::string& folder, const std::string& thumbName, const std::string& ext,
                           const std::string& inputFileName);

}  // namespace kestrova::convert
