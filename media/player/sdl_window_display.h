// The player's own window (when the host gives no display): an SDL2 window
// with a renderer and a YUV texture, made on the event loop's thread.
#pragma once

#include <memory>

#include "media/player/display.h"

namespace media::player {

std::unique_ptr<Display> MakeSdlWindowDisplay();

}  // namespace media::player
