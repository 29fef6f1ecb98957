// Where the player draws. Two kinds: a window of the player's own (SDL2, made
// when the host gives none: kestrova-cli play) and a host surface that keeps
// the picture for the host to paint (the desktop tool's preview panel, tests).
// Plain records only: no library type crosses this header.
#pragma once

#include <cstdint>
#include <string>

namespace media::player {

// A planar YUV 4:2:0 picture: planes Y, U, V with their row strides.
struct YuvPicture {
  const uint8_t* planes[3] = {};
  int strides[3] = {};
  int width = 0;
  int height = 0;
};

// The part of the surface a picture is shown in (letterboxing leaves the rest).
struct DisplayArea {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

class Display {
 public:
  virtual ~Display() = default;

  // Makes the drawing surface ready at this size (the player's event loop
  // calls it before the first picture and on resizes). False with a message.
  virtual bool SetMode(int width, int height, std::string& error) = 0;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Shows the picture scaled into the area; the rest of the surface keeps
  // what it had. shownAtUs: the moment of showing on the steady clock.
  virtual void Show(const YuvPicture& picture, const DisplayArea& area, int64_t ptsUs) = 0;
  // Shows again what was shown last (a paused picture after an expose).
  virtual void Redraw() = 0;
  // True for the player's own window: it needs SDL's video subsystem and
  // delivers the window's events (keys, close, resize) to the player.
  virtual bool OwnWindow() const { return false; }
};

}  // namespace media::player
