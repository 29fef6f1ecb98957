// The timing an MP4 index keeps outside its samples: each track's edit list
// (where its media starts on the movie's timeline: a late audio track, the
// cut of an encoder's priming or reordering delay) and the movie's and
// tracks' lengths in the movie's time scale.
//
// The format library turns an edit list into shifted sample times and back
// into an edit list only approximately: an edit of 45 ms comes back as
// 44 ms, and the last sample's duration as what the edit cut it to. So md
// copies the samples with their stored times and puts the input's own edit
// lists and lengths into the index it wrote (ApplyMovieTiming).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace md {

struct TrackTiming {
  std::string editBox;          // the whole "edts" box, empty when the track has none
  uint64_t duration = 0;        // tkhd: in the movie's time scale
  // Where the track's first sample shows on the movie's timeline: the empty
  // edits before the first one with media, minus that edit's media start.
  int64_t emptyBefore = 0;      // movie time scale
  int64_t mediaStart = 0;       // the track's own time scale
};

struct MovieTiming {
  uint32_t timescale = 0;       // mvhd
  uint64_t duration = 0;        // mvhd
  std::vector<TrackTiming> tracks;  // in the order of the "trak" boxes
};

// The input's timing; nothing for a file without a readable index, and for a
// fragmented file (its index describes only the start of the media).
std::optional<MovieTiming> ReadMovieTiming(const std::string& path);

// Puts timing into the index of the MP4 file at path, which md wrote from
// the same tracks in the same order without edit lists: the edit lists are
// inserted, the lengths and the movie's time scale replaced. The index grows
// into the room after it when there is some, else the media behind it move
// and the chunk offsets with them. Throws std::runtime_error naming the file.
void ApplyMovieTiming(const std::string& path, const MovieTiming& timing);

}  // namespace md
