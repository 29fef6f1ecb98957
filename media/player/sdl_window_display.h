// The player's own window (when the host gives no display): an SDL2 window
// with a renderer and a YUV texture, made on the event loop's thread.
#pragma once

#include <memory>
#include <string>

#include "media/player/display.h"

namespace media::player {

// title: the window's caption.
std::unique_ptr<Display> MakeSdlWindowDisplay(const std::string& title);

}  // namespace media::player
