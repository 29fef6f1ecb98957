// How one output stream's sound takes its encoder's form: the resampler
// (rate, channels, sample format), the FIFO that cuts the stream into the
// encoder's frame size and the frame it fills. Internal to the engine.
#pragma once

#include "media/av_forward.h"
#include "media/av_owners.h"
#include "media/engine/sample_planes.h"

namespace media {

struct AudioConversion {
  SwrPtr swr;
  // What the resampler was made for; other input makes a new one.
  int inRate = 0, inFmt = -1, inChannels = 0;
  AudioFifoPtr fifo;
  FramePtr frame;        // one encoder frame, refilled from the FIFO
  SamplePlanes planes;   // converted samples, grown only
  // The first sound (of the run, or of a joined input) sets the stream's
  // timeline; later sound only corrects drift.
  bool start = true;

  // A resampler for the decoded frame's form into the encoder's; the one
  // there is kept while the input's form stays. Raises when none can be made.
  void MatchResampler(const AVFrame* decoded, AVCodecContext* enc);
  // The FIFO and frame for an opened encoder. Raises when memory runs out.
  void Open(const AVCodecContext* enc);
};

}  // namespace media
