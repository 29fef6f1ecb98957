#include "media/hand_over.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

TEST(HandOverTest, PostsAndCallsRunOnTheHostInTheOrderHandedOver) {
  media::HandOver handOver;
  std::vector<std::string> seen;
  std::thread worker([&] {
    handOver.Post([&] { seen.push_back("post 1"); });
    handOver.Call([&] {
      EXPECT_TRUE(handOver.OnHostThread());
      seen.push_back("call");
    });
    handOver.Post([&] { seen.push_back("post 2"); });
  });
  EXPECT_TRUE(handOver.PumpUntil([&] { return seen.size() == 3; }, 10s));
  worker.join();
  EXPECT_EQ(seen, (std::vector<std::string>{"post 1", "call", "post 2"}));
}

TEST(HandOverTest, ErrorsReachTheCallerOfCallAndTheHandlerForPosts) {
  media::HandOver handOver;
  std::string posted;
  handOver.SetErrorHandler([&](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      posted = e.what();
    }
  });
  std::string called;
  std::thread worker([&] {
    try {
      handOver.Call([] { throw std::runtime_error("from call"); });
    } catch (const std::exception& e) {
      called = e.what();
    }
    handOver.Post([] { throw std::runtime_error("from post"); });
  });
  EXPECT_TRUE(handOver.PumpUntil([&] { return !posted.empty(); }, 10s));
  worker.join();
  EXPECT_EQ(called, "from call");
  EXPECT_EQ(posted, "from post");
  // On the host thread a Call runs at once and still throws to its caller.
  EXPECT_THROW(handOver.Call([] { throw std::runtime_error("here"); }), std::runtime_error);
}

TEST(HandOverTest, CloseReleasesAWaitingCallWithoutRunningIt) {
  media::HandOver handOver;
  std::atomic<bool> ran{false};
  std::atomic<int> result{-1};
  std::thread worker([&] { result = handOver.Call([&] { ran = true; }) ? 1 : 0; });
  // Whether the call is already queued or not yet, a closed hand-over
  // releases it unrun.
  std::this_thread::sleep_for(20ms);
  handOver.Close();
  worker.join();
  EXPECT_FALSE(ran);
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(handOver.Post([] {}));
}

TEST(HandOverTest, NudgeWakesAWaitWhoseConditionChangedWithoutWork) {
  media::HandOver handOver;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    std::this_thread::sleep_for(20ms);
    done = true;
    handOver.Nudge();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(handOver.PumpUntil([&] { return done.load(); }, 60s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);  // hang guard only
  worker.join();
  EXPECT_FALSE(handOver.PumpUntil([] { return false; }, 10ms));
  // A plain Pump with a long wait ends at a nudge too.
  std::thread nudger([&] {
    std::this_thread::sleep_for(20ms);
    handOver.Nudge();
  });
  const auto pumpStart = std::chrono::steady_clock::now();
  EXPECT_EQ(handOver.Pump(60s), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - pumpStart, 30s);  // hang guard only
  nudger.join();
}

}  // namespace
