// md's layout rule on made-up packet times: every stream's run in a portion
// lasts at most the portion length, nothing is lost or reordered within a
// stream, and awkward inputs (a packet longer than a portion, a stream that
// stops early, a long silence) still come out whole.
#include <gtest/gtest.h>

#include <map>

#include "portion_queue.h"

namespace md {
namespace {

struct Timed {
  int stream;
  int64_t start, end;  // microseconds
};

// Packets of one stream back to back from `from`, each `length` long.
std::vector<Timed> Steady(int stream, int64_t from, int64_t to, int64_t length) {
  std::vector<Timed> packets;
  for (int64_t t = from; t < to; t += length) packets.push_back({stream, t, t + length});
  return packets;
}

// Feeds the packets in the given order (as a file interleaves them) and
// returns the portions as lists of packets.
std::vector<std::vector<Timed>> Cut(const std::vector<Timed>& input, int64_t portion, int64_t bufferLimit,
                                    int streams = 2) {
  PortionQueue queue(streams, portion, bufferLimit);
  std::vector<std::vector<Timed>> portions;
  std::vector<PacketPtr> out;
  auto drain = [&] {
    while (queue.PopPortion(out)) {
      std::vector<Timed> portion;
      for (const PacketPtr& p : out) portion.push_back(input[static_cast<size_t>(p->pos)]);
      portions.push_back(portion);
      out.clear();
    }
  };
  for (size_t i = 0; i < input.size(); ++i) {
    PacketPtr packet(av_packet_alloc());
    EXPECT_EQ(av_new_packet(packet.get(), 100), 0);
    packet->pos = static_cast<int64_t>(i);  // which input packet this is
    packet->stream_index = input[i].stream;
    queue.Push(input[i].stream, std::move(packet), input[i].start, input[i].end);
    drain();
  }
  queue.Finish();
  drain();
  return portions;
}

// Interleaves the packets by start time, as a converter writes them.
std::vector<Timed> ByStart(std::vector<Timed> a, const std::vector<Timed>& b) {
  a.insert(a.end(), b.begin(), b.end());
  std::stable_sort(a.begin(), a.end(), [](const Timed& x, const Timed& y) { return x.start < y.start; });
  return a;
}

// Every packet comes out once, each stream in its own order; each stream's
// run in a portion lasts at most `portion` unless it is a single packet.
void ExpectSoundLayout(const std::vector<Timed>& input, const std::vector<std::vector<Timed>>& portions,
                       int64_t portion) {
  std::map<int, std::vector<int64_t>> in, out;
  for (const Timed& t : input) in[t.stream].push_back(t.start);
  for (const auto& p : portions) {
    ASSERT_FALSE(p.empty());
    std::map<int, int64_t> runLength, runCount;
    for (const Timed& t : p) {
      out[t.stream].push_back(t.start);
      runLength[t.stream] += t.end - t.start;
      ++runCount[t.stream];
    }
    for (auto [stream, length] : runLength) {
      if (runCount[stream] > 1) {
        EXPECT_LE(length, portion) << "stream " << stream;
      }
    }
  }
  EXPECT_EQ(out, in);
}

TEST(PortionQueue, AudioAndVideoInPortionsOfAtMostTheLength) {
  const auto video = Steady(0, -80000, 10000000, 40000);  // 25/s, starting before zero like B-frame video
  const auto audio = Steady(1, -23220, 10000000, 23220);  // AAC at 44.1 kHz
  const auto input = ByStart(video, audio);
  for (int64_t portion : {500000, 200000, 1000000}) {
    SCOPED_TRACE(portion);
    const auto portions = Cut(input, portion, 64 << 20);
    ExpectSoundLayout(input, portions, portion);
    // Close to the length, so they are few: about 10 s / portion of them.
    EXPECT_LE(portions.size(), static_cast<size_t>(2 * 10000000 / portion + 2));
    for (const auto& p : portions) {
      std::map<int, int> seen;
      for (const Timed& t : p) ++seen[t.stream];
      EXPECT_EQ(seen.size(), 2u) << "both streams in every portion";
    }
  }
}

TEST(PortionQueue, AwkwardInputsComeOutWhole) {
  const struct {
    const char* what;
    std::vector<Timed> input;
    int64_t bufferLimit;
  } cases[] = {
      {"a picture longer than a portion", ByStart(Steady(0, 0, 4000000, 2000000), Steady(1, 0, 4000000, 23220)),
       64 << 20},
      {"audio stops after one second", ByStart(Steady(0, 0, 5000000, 40000), Steady(1, 0, 1000000, 23220)),
       64 << 20},
      {"the same with little room to wait", ByStart(Steady(0, 0, 5000000, 40000), Steady(1, 0, 1000000, 23220)),
       1000},
      {"nine silent seconds", ByStart(ByStart(Steady(0, 0, 1000000, 40000), Steady(0, 10000000, 11000000, 40000)),
                                      ByStart(Steady(1, 0, 1000000, 23220), Steady(1, 10000000, 11000000, 23220))),
       64 << 20},
      {"not interleaved at all", [] {
         auto all = Steady(0, 0, 3000000, 40000);
         auto audio = Steady(1, 0, 3000000, 23220);
         all.insert(all.end(), audio.begin(), audio.end());
         return all;
       }(),
       64 << 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectSoundLayout(c.input, Cut(c.input, 500000, c.bufferLimit), 500000);
  }
}

}  // namespace
}  // namespace md
