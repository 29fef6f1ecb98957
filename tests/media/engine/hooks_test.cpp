// Frame-hook plug-ins loaded with dlopen: results of adding one, the
// process-wide plug-in cache, and a plug-in drawing on a conversion.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include "engine_run.h"
#include "engine_test_env.h"
#include "media/engine/hooks.h"
#include "media_fixture.h"
#include "process.h"

using namespace kestrova::test;

namespace {

TEST(FrameHooks, AddResults) {
  media::FrameHookChain chain;
  EXPECT_EQ(media::FrameHookAdd(chain, {}), -2);
  EXPECT_EQ(media::FrameHookAdd(chain, {"/no/such/plugin.so"}), -1);
  EXPECT_EQ(media::FrameHookAdd(chain, {HOOK_WITHOUT_CONFIGURE}), 0);
  EXPECT_EQ(media::FrameHookAdd(chain, {HOOK_WITHOUT_CONFIGURE, "extra"}), -2);
  EXPECT_EQ(media::FrameHookAdd(chain, {HOOK_REFUSING, "x"}), -22);
  EXPECT_EQ(chain.size(), 1u);
  EXPECT_EQ(media::FrameHookAdd(chain, {HOOK_PLAIN, "a", "b"}), 0);
  ASSERT_EQ(chain.size(), 2u);
  EXPECT_EQ(*static_cast<int*>(chain[1].context), 3);
  media::FrameHookRelease(chain);
  EXPECT_TRUE(chain.empty());
}

TEST(FrameHooks, SamePluginIsLoadedOncePerProcess) {
  media::FrameHookChain first, second;
  ASSERT_EQ(media::FrameHookAdd(first, {HOOK_PLAIN}), 0);
  ASSERT_EQ(media::FrameHookAdd(second, {HOOK_PLAIN}), 0);
  EXPECT_NE(first[0].context, second[0].context);  // each task has its own context
  EXPECT_EQ(first[0].process, second[0].process);  // from one loaded module
  media::FrameHookRelease(first);
  media::FrameHookRelease(second);
}

TEST(FrameHooks, ArgumentsSplitAtBarsOrBlanks) {
  EXPECT_EQ(media::SplitHookArguments("plug.so -t  hello"), (std::vector<std::string>{"plug.so", "-t", "hello"}));
  EXPECT_EQ(media::SplitHookArguments("my plug.so|-t|a b"), (std::vector<std::string>{"my plug.so", "-t", "a b"}));
}

TEST(FrameHooks, VhookOptionDrawsOnEveryPicture) {
  LoadEngineLibrariesOrFail();
  TempDir out;
  media::TFFmpegEngine engine;
  BatchRecorder recorder;
  recorder.Attach(engine);
  media::TOutputOptions o;
  o.VideoCodec = "libx264";
  o.ExtOptions = std::string("vhook=") + HOOK_PLAIN;
  int task = engine.AddTask(SharedMedia().mp4.string());
  ASSERT_TRUE(engine.SetOutputFile(task, (out / "dark.mp4").string(), &o)) << engine.LastErrorMessage();
  engine.StartTask(0);
  ASSERT_TRUE(recorder.Report(task).Finished) << recorder.Report(task).ExceptionMsg;
  // The plug-in set every luma sample to black.
  auto stats = RunCommand("ffmpeg -nostdin -v info -i " + ShellQuote((out / "dark.mp4").string()) +
                          " -vf signalstats,metadata=print:key=lavfi.signalstats.YAVG -frames:v 1 -f null - 2>&1");
  auto pos = stats.output.find("YAVG=");
  ASSERT_NE(pos, std::string::npos) << stats.output;
  EXPECT_LT(std::atof(stats.output.c_str() + pos + 5), 17.0);
}

}  // namespace
