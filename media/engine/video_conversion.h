// How one output stream's pictures take its encoder's shape: cropped, scaled
// and padded by the plain scaler, or run through a filter graph (filters
// asked for, or a turned clip). Internal to the engine.
#pragma once

#include "media/av_forward.h"
#include "media/av_owners.h"

namespace media {

// The colour of the padding bands, in YCbCr.
struct PadColour {
  int y = 16, cb = 128, cr = 128;
};

// Paints a whole picture in one YCbCr colour (the padding bands).
void FillPadColour(AVFrame* picture, int y, int cb, int cr);

// Members go in the reverse of their order here: the frames before the
// scaler and the graph that filled them.
struct VideoConversion {
  SwsPtr sws;
  // The shape the scaler was made for; a decoded picture of another shape
  // makes a new one.
  int srcW = 0, srcH = 0, srcFmt = -1;
  FramePtr scaled;  // the encoder's picture, reused from picture to picture
  bool crop = false, pad = false, rescale = false;
  int cropTop = 0, cropBottom = 0, cropLeft = 0, cropRight = 0;
  int padTop = 0, padBottom = 0, padLeft = 0, padRight = 0;
  FilterGraphPtr graph;
  AVFilterContext* bufferSrc = nullptr;  // both belong to the graph
  AVFilterContext* bufferSink = nullptr;
  FramePtr filtered;
  FramePtr previous;  // the last picture encoded when it is the decoder's own
  // A decoded picture waiting to learn whether it shows at all (paced
  // output); it is scaled only once it does, so a picture that a later one
  // replaces on the same tick costs no scaler run.
  FramePtr waiting;

  bool Scales() const { return sws != nullptr || rescale || pad || crop; }
  // The picture the encoder was given last (filtered, scaled or the decoder's
  // own), still unchanged until the next one replaces it; null or empty
  // before the first.
  AVFrame* LastPicture() const;
  // Keeps a reference to a decoder's picture that went to the encoder as it
  // was: the decoder reuses its own.
  void KeepPrevious(const AVFrame* frame);
  // Keeps a reference to a decoded picture in `waiting`, in place of the one
  // before; false when memory runs out.
  bool Wait(const AVFrame* frame);
  // Makes the encoder's picture in its format and size, painted in the pad
  // colour; false when memory runs out.
  bool AllocateScaled(const AVCodecContext* enc, const PadColour& colour);
  // Crops, scales and pads a decoded picture into the encoder's picture and
  // returns it; the decoded picture itself when it needs none of that. A
  // picture of a new shape gets a new scaler, and a log line naming the
  // input stream (file.stream). Raises when a scaler or picture can't be made.
  AVFrame* Scale(AVFrame* frame, const AVCodecContext* enc, const PadColour& colour, int swsFlags, int inputFile,
                 int inputStream);
};

}  // namespace media
