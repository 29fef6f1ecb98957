// The conversion dialogs' rules that need no window: slider arithmetic,
// texts, button states and the OK checks.
#include <gtest/gtest.h>

#include "batch_table.h"
#include "duration_to_str.h"
#include "option_close_check.h"
#include "option_slider.h"
#include "output_length.h"
#include "process.h"
#include "video_files.h"

namespace kestrova::convert {
namespace {

TEST(OptionSliderTest, StepsTicksAndPageSizes) {
  struct Case {
    StepSource source;
    int steps, tick, page;
  } cases[] = {
      // 10 s at 25 pictures per second: one step per picture.
      {{.hasVideo = true, .frameRateNum = 25, .frameRateDen = 1, .videoDuration = 10000000, .fileDuration = 10000000},
       250, 25, 12},
      // The video stream gives no length: the file's counts.
      {{.hasVideo = true, .frameRateNum = 30000, .frameRateDen = 1001, .videoDuration = -1, .fileDuration = 2000000},
       60, 6, 5},
      // Audio only: one step per tenth of a second.
      {{.hasVideo = false, .fileDuration = 10000000}, 100, 10, 5},
      // Half a step rounds to even: 0.25 s at 10 per second is 2.5 -> 2.
      {{.hasVideo = false, .fileDuration = 250000}, 2, 1, 2},
      {{.hasVideo = false, .fileDuration = 350000}, 4, 1, 2},
  };
  for (const Case& c : cases) {
    const int steps = TrackSteps(c.source);
    EXPECT_EQ(steps, c.steps);
    const TrackBarLayout layout = LayoutTrackBar(steps, 0, kDefaultTrackMaximum);
    EXPECT_EQ(layout.maximum, c.steps);
    EXPECT_EQ(layout.tickSpacing, c.tick) << steps;
    EXPECT_EQ(layout.pageSize, c.page) << steps;
  }
  // Page sizes at the edges: 2 up to 9, 5 up to 99, a twentieth from 100.
  EXPECT_EQ(LayoutTrackBar(9, 0, 10).pageSize, 2);
  EXPECT_EQ(LayoutTrackBar(99, 0, 10).pageSize, 5);
  EXPECT_EQ(LayoutTrackBar(100, 0, 10).pageSize, 5);
  EXPECT_EQ(LayoutTrackBar(11, 0, 10).tickSpacing, 1);
}

TEST(OptionSliderTest, RangeKeepsTheRelativePositionAndNoStepsKeepTheMaximum) {
  EXPECT_EQ(LayoutTrackBar(250, 5, 10).position, 125);
  const TrackBarLayout unchanged = LayoutTrackBar(0, 3, 10);
  EXPECT_EQ(unchanged.maximum, 10);
  EXPECT_EQ(unchanged.position, 3);
  EXPECT_EQ(LayoutTrackBar(100, 4, 0).position, 0);
}

TEST(OptionSliderTest, MovesAndTimes) {
  EXPECT_EQ(ClassifyMove(11, 10), SliderMove::StepForward);
  EXPECT_EQ(ClassifyMove(9, 10), SliderMove::StepBack);
  EXPECT_EQ(ClassifyMove(12, 10), SliderMove::Jump);
  EXPECT_EQ(ClassifyMove(0, 10), SliderMove::Jump);
  EXPECT_EQ(ClassifyMove(10, 10), SliderMove::None);

  EXPECT_EQ(PositionTime(125, 250, 10000000), 5000000);
  EXPECT_EQ(PositionTime(3, 0, 10000000), 0);
  EXPECT_EQ(PositionTime(3, 10, -1), 0);  // no length: no scale
  EXPECT_EQ(PositionForTime(5000000, 250, 10000000), 125);
  EXPECT_EQ(PositionForTime(11000000, 250, 10000000), 250);  // never past the end
  EXPECT_EQ(PositionForTime(40000, 250, 10000000), 1);
}

TEST(ClipTextTest, DurationsAndBaseNames) {
  using catalogue::BaseName;
  using catalogue::DurationToStr;
  EXPECT_EQ(DurationToStr(3723450000), "01:02:03.450");
  EXPECT_EQ(DurationToStr(int64_t(100) * 3600 * 1000000), "100:00:00.000");
  EXPECT_EQ(DurationToStr(0), "00:00:00.000");
  EXPECT_EQ(DurationToStr(999), "00:00:00.000");

  EXPECT_EQ(BaseName("My Clip.avi"), "My Clip");
  EXPECT_EQ(BaseName("a.b.mp4"), "a");
  EXPECT_EQ(BaseName("noext"), "noext");
}

TEST(BatchTableTest, CellsAndMenuTarget) {
  EXPECT_EQ(TotalDurationCell(3400000), "3");
  EXPECT_EQ(TotalDurationCell(0), "N/A");
  EXPECT_EQ(TotalDurationCell(-1), "N/A");
  EXPECT_EQ(ProgressCell(1500000, 3000000), "50%");
  EXPECT_EQ(ProgressCell(1500000, -1), "N/A");
  EXPECT_EQ(CurrentTimeCell(2999999), "2");

  EXPECT_EQ(MenuTargetEntry(1, 3), 1);
  EXPECT_EQ(MenuTargetEntry(-1, 3), 2);
  EXPECT_EQ(MenuTargetEntry(5, 3), 2);
  EXPECT_EQ(MenuTargetEntry(-1, 0), -1);
}

// Short means more than a second and more than a tenth short of what was
// expected; unknown lengths say nothing.
TEST(BatchTableTest, ShortOutputNoteOnlyForMuchShorterOutputs) {
  const struct {
    int64_t output, expected;
    bool said;
  } cases[] = {
      {5'300'000, 10'000'000, true},   {9'100'000, 10'000'000, false}, {8'900'000, 10'000'000, true},
      {27'500'000, 30'000'000, false}, {26'900'000, 30'000'000, true}, {1'000'000, 1'900'000, false},
      {-1, 10'000'000, false},         {5'000'000, 0, false},          {10'000'000, 10'000'000, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(!ShortOutputNote(c.output, c.expected).empty(), c.said) << c.output << " of " << c.expected;
  EXPECT_EQ(ShortOutputNote(5'300'000, 10'000'000), "输出只有 5.3 秒，源文件应有 10.0 秒：源文件可能不完整");
}

TEST(BatchTableTest, ButtonsByState) {
  struct Case {
    BatchState state;
    BatchButtons buttons;
  } cases[] = {
      //                        add    remove clear  start  stop   pause  resume close
      {BatchState::Empty,      {true,  false, false, false, false, false, false, true}},
      {BatchState::Listed,     {true,  true,  true,  true,  false, false, false, true}},
      {BatchState::Converting, {false, false, false, false, true,  true,  false, false}},
      {BatchState::Paused,     {false, false, false, false, true,  false, true,  false}},
      {BatchState::Ended,      {false, false, true,  false, false, false, false, true}},
  };
  for (const Case& c : cases) EXPECT_EQ(ButtonsFor(c.state), c.buttons) << static_cast<int>(c.state);
}

TEST(OptionCloseCheckTest, BothRefusalsComeInTurn) {
  EXPECT_TRUE(OkRefusals(true, "/d/video", "00:00:01.000").empty());
  EXPECT_EQ(OkRefusals(true, "/d/video", "00:00:00.000"), std::vector<std::string>{kThumbnailMissing});
  EXPECT_EQ(OkRefusals(false, "/d/video", "00:00:00.000"),
            (std::vector<std::string>{"数据文件夹无法写入，请检查它的权限：/d/video", kThumbnailMissing}));

  test::TempDir folder;
  EXPECT_TRUE(OutputFolderWritable(folder / "data/video"));  // made when missing
  test::WriteFile(folder / "file", "x");
  EXPECT_FALSE(OutputFolderWritable(folder / "file"));
  EXPECT_FALSE(OutputFolderWritable(folder / "file/video"));
}

}  // namespace
}  // namespace kestrova::convert
