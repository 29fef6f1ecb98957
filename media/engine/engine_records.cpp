#include "media/engine/engine_records.h"

namespace media {

void InitInputOptions(TInputOptions& options) { options = TInputOptions{}; }
void InitOutputOptions(TOutputOptions& options) { options = TOutputOptions{}; }

}  // namespace media
