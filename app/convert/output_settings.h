// The engine records a file's conversion is described by, built from the
// options dialog's choices: an MP4 with H.264 video and AAC audio in the data
// folder's "video" folder, named after the thumbnail.
#pragma once

#include "media/engine/engine_records.h"
#include "option_choices.h"

namespace kestrova::convert {

// The range applies when chkCutClip is enabled and checked and the start
// lies before the end.
bool RangeApplies(const OptionDialogChoices& choices);

// edtOutPath + thumbName + ".mp4"; when taken, the input's name with
// "_(new_N)" and the smallest free N.
std::string OutputFileName(const OptionDialogChoices& choices, const std::string& fileExt);

media::TOutputOptions getOutputOptions(const OptionDialogChoices& choices);
media::TInputOptions getInputOptions(const OptionDialogChoices& choices);

}  // namespace kestrova::convert
