// The per-picture statistics of a run: the vstats file, the PSNR figures and
// the q histogram of the progress line.
#include <gtest/gtest.h>

#include <mutex>
#include <sstream>
#include <vector>

#include "engine_test_env.h"
#include "media/engine/transcoder.h"
#include "media/logger.h"
#include "media_fixture.h"
#include "process.h"

using namespace kestrova::test;

namespace {

class StatsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadEngineLibrariesOrFail();
    MakeMedia("-f lavfi -i testsrc=size=160x120:rate=25 -t 1 -c:v libx264 -preset ultrafast -pix_fmt yuv420p",
              dir / "in.mp4");
    media::FFLogger().SetTriggerEventInMainThread(false);
    media::FFLogger().SetLogLevel(media::llVerbose);
    media::FFLogger().SetOnLog([this](const void*, std::uint32_t, media::TLogLevel, const std::string& text) {
      std::lock_guard<std::mutex> guard(lock);
      lines.push_back(text);
    });
  }
  void TearDown() override {
    media::FFLogger().SetOnLog(nullptr);
    media::FFLogger().SetLogLevel(media::llInfo);
  }

  // Runs one task in the calling thread, with these options applied before
  // the output is opened; no progress callback, so the task logs its line.
  bool Run(const std::vector<std::pair<std::string, std::string>>& options, const std::filesystem::path& output) {
    media::TCustomFFmpeg task;
    if (!task.OpenInput((dir / "in.mp4").string())) return false;
    // An encoder that attaches its squared errors to each packet (libx264
    // prints its own PSNR summary to the log instead).
    task.ApplyOption("vcodec", "mpeg4");
    task.ApplyOption("an", "1");
    for (auto& [name, value] : options) task.ApplyOption(name, value);
    if (task.OpenOutput(output.string(), false) < 0) return false;
    task.Start(false);
    errorText = task.ErrorText();
    return task.Finished() && !task.HasError();
  }
  std::string LastLineWith(const std::string& part) {
    std::lock_guard<std::mutex> guard(lock);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
      if (it->find(part) != std::string::npos) return *it;
    return "";
  }

  TempDir dir;
  std::mutex lock;
  std::vector<std::string> lines;
  std::string errorText;
};

TEST_F(StatsTest, VstatsFileHoldsOneLinePerCodedPictureWithPsnr) {
  const auto stats = dir / "stats.log";
  ASSERT_TRUE(Run({{"vstats_file", stats.string()}, {"psnr", "1"}}, dir / "out.mp4")) << errorText;
  std::istringstream text(ReadFile(stats));
  std::vector<std::string> rows;
  for (std::string row; std::getline(text, row);) rows.push_back(row);
  ASSERT_EQ(rows.size(), 25u);
  EXPECT_EQ(rows[0].rfind("frame=     1 q= ", 0), 0u) << rows[0];
  EXPECT_NE(rows[0].find("type= I"), std::string::npos) << rows[0];
  EXPECT_EQ(rows[24].rfind("frame=    25 ", 0), 0u) << rows[24];
  for (const std::string& row : rows) {
    auto at = row.find("PSNR= ");
    ASSERT_NE(at, std::string::npos) << row;
    const double psnr = std::atof(row.c_str() + at + 6);
    EXPECT_GT(psnr, 20.0) << row;  // a faithful encoding of a test pattern
    EXPECT_LT(psnr, 99.0) << row;
    EXPECT_NE(row.find(" f_size= "), std::string::npos);
    EXPECT_NE(row.find("kbits/s type= "), std::string::npos);
  }
}

TEST_F(StatsTest, ProgressLineCarriesPsnrFiguresAndQHistogram) {
  ASSERT_TRUE(Run({{"psnr", "1"}, {"qphist", "1"}}, dir / "out.mp4")) << errorText;
  const std::string last = LastLineWith("Lsize=");
  ASSERT_FALSE(last.empty());
  auto at = last.find("PSNR=Y:");
  ASSERT_NE(at, std::string::npos) << last;
  EXPECT_GT(std::atof(last.c_str() + at + 7), 20.0) << last;
  EXPECT_NE(last.find(" U:"), std::string::npos);
  EXPECT_NE(last.find(" *:"), std::string::npos);
  // 52 digits, one per q value, after the q figure; the last report counted once.
  auto q = last.find("q=");
  ASSERT_NE(q, std::string::npos);
  auto digits = last.substr(last.find(' ', q + 3) + 1, 52);
  EXPECT_EQ(digits.find_first_not_of("0123456789abcdef"), std::string::npos) << last;
  EXPECT_NE(digits.find_first_not_of('0'), std::string::npos) << last;
}

TEST_F(StatsTest, UnwritableVstatsFileEndsTheRunWithAClearError) {
  EXPECT_FALSE(Run({{"vstats_file", (dir / "no-such-folder" / "stats.log").string()}}, dir / "out.mp4"));
  EXPECT_NE(errorText.find("Cannot open vstats file"), std::string::npos) << errorText;
}

}  // namespace
