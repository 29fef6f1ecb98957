// The logger without the libraries: level tables, filtering, and the library
// callback's line assembly, fed directly as the library would call it.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdarg>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "media/av_headers.h"
#include "media/hand_over.h"
#include "media/logger.h"

using namespace media;

namespace {

struct Entry {
  const void* sender;
  std::uint32_t threadId;
  TLogLevel level;
  std::string message;
};

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logger.SetTriggerEventInMainThread(false);
    logger.SetOnLog([this](const void* sender, std::uint32_t threadId, TLogLevel level, const std::string& message) {
      std::lock_guard lock(mutex);
      entries.push_back({sender, threadId, level, message});
    });
  }
  std::vector<std::string> Messages() {
    std::lock_guard lock(mutex);
    std::vector<std::string> out;
    for (auto& e : entries) out.push_back(e.message);
    return out;
  }

  TFFLogger logger;
  std::mutex mutex;
  std::vector<Entry> entries;
};

// The library hands the callback a va_list; this makes one.
void LibraryLog(void* object, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LibraryLogCallback(object, level, format, args);
  va_end(args);
}

// An object as the library sees it: a pointer to its class record first.
const char* FakeItemName(void*) { return "h264"; }
AVClass MakeFakeClass() {
  AVClass avClass{};
  avClass.class_name = "fake";
  avClass.item_name = FakeItemName;
  return avClass;
}
const AVClass kFakeClass = MakeFakeClass();
struct FakeObject {
  const AVClass* avClass = &kFakeClass;
};

TEST(LogLevelTest, ConversionTables) {
  const struct {
    TLogLevel level;
    int library;
    const char* name;
  } table[] = {{llQuiet, -8, "quiet"},     {llPanic, 0, "panic"}, {llFatal, 8, "fatal"},
               {llError, 16, "error"},     {llWarning, 24, "warning"}, {llInfo, 32, "info"},
               {llVerbose, 40, "verbose"}, {llDebug, 48, "debug"}};
  for (auto& row : table) {
    EXPECT_EQ(LogLevelToLibrary(row.level), row.library) << row.name;
    EXPECT_EQ(LibraryToLogLevel(row.library), row.level) << row.name;
    EXPECT_STREQ(LogLevelName(row.level), row.name);
  }
  const std::pair<int, TLogLevel> between[] = {{-9, llQuiet}, {-100, llQuiet}, {-7, llPanic}, {-1, llPanic},
                                               {39, llInfo},  {23, llError},   {47, llVerbose}, {56, llDebug}};
  for (auto [n, level] : between) EXPECT_EQ(LibraryToLogLevel(n), level) << n;
}

TEST(LoggerInstanceTest, OnlyOneMayExist) {
  TFFLogger first;
  EXPECT_EQ(&FFLogger(), &first);
  try {
    TFFLogger second;
    FAIL() << "a second logger was created";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "Allow creating only one instance of TFFLogger.");
  }
  EXPECT_EQ(&FFLogger(), &first);
}

TEST(LoggerInstanceTest, TheHostsLoggerReplacesTheStandIn) {
  TFFLogger* standIn = &FFLogger();  // made on first use, e.g. by an early library message
  TFFLogger host;
  EXPECT_NE(&host, standIn);
  EXPECT_EQ(&FFLogger(), &host);
}

TEST_F(LoggerTest, SetLogLevelByName) {
  logger.SetLogLevelByName("Warning");
  EXPECT_EQ(logger.LogLevel(), llWarning);
  logger.SetLogLevelByName("20");
  EXPECT_EQ(logger.LogLevel(), llError);
  logger.SetLogLevelByName("DEBUG");
  EXPECT_EQ(logger.LogLevel(), llDebug);
  EXPECT_THROW(logger.SetLogLevelByName("abc"), std::invalid_argument);
  EXPECT_THROW(logger.SetLogLevelByName("20x"), std::invalid_argument);
  EXPECT_EQ(logger.LogLevel(), llDebug);
}

TEST_F(LoggerTest, ComponentMessagesFilterByLevelButVerboseShowsUnlessQuiet) {
  logger.SetLogLevel(llError);
  logger.Log(this, llError, "error passes");
  logger.Log(this, llWarning, "warning is filtered");
  logger.Log(this, llVerbose, "verbose passes");
  logger.LogFmt(this, llFatal, "formatted %d", 42);
  logger.SetLogLevel(llQuiet);
  logger.Log(this, llVerbose, "nothing at quiet");
  EXPECT_EQ(Messages(), (std::vector<std::string>{"error passes", "verbose passes", "formatted 42"}));
  EXPECT_EQ(entries[0].sender, this);
  EXPECT_EQ(entries[0].threadId, CurrentThreadId());
  EXPECT_EQ(entries[1].level, llVerbose);
}

TEST_F(LoggerTest, LibraryPiecesBecomeWholeLinesWithThePrefixOnce) {
  FakeObject object;
  LibraryLog(&object, 32, "abc");
  EXPECT_TRUE(Messages().empty());
  LibraryLog(&object, 32, "def\nghi\n");
  char prefix[64];
  snprintf(prefix, sizeof prefix, "[h264 @ %p]", static_cast<void*>(&object));
  EXPECT_EQ(Messages(), (std::vector<std::string>{std::string(prefix) + "abcdef", "ghi"}));
  EXPECT_EQ(entries[0].sender, &logger);
  EXPECT_EQ(entries[0].level, llInfo);
  // Above the library level nothing is taken, not even into the pending text.
  LibraryLog(nullptr, 48, "debug text\n");
  LibraryLog(nullptr, 16, "%s=%d\n", "value", 7);
  EXPECT_EQ(Messages().back(), "value=7");
  EXPECT_EQ(entries.back().level, llError);
}

TEST_F(LoggerTest, ThreadsInterleavingPartialLinesKeepTheirOwnText) {
  std::mutex step;
  std::condition_variable turn;
  int stage = 0;
  auto waitFor = [&](int s) {
    std::unique_lock lock(step);
    turn.wait(lock, [&] { return stage == s; });
  };
  auto advance = [&] {
    std::lock_guard lock(step);
    ++stage;
    turn.notify_all();
  };
  std::thread a([&] {
    waitFor(0);
    LibraryLog(nullptr, 32, "one-");
    advance();
    waitFor(2);
    LibraryLog(nullptr, 32, "two\n");
    advance();
  });
  std::thread b([&] {
    waitFor(1);
    LibraryLog(nullptr, 32, "three-");
    advance();
    waitFor(3);
    LibraryLog(nullptr, 32, "four\n");
    advance();
  });
  a.join();
  b.join();
  EXPECT_EQ(Messages(), (std::vector<std::string>{"one-two", "three-four"}));
  EXPECT_NE(entries[0].threadId, entries[1].threadId);
}

TEST_F(LoggerTest, EventsRunOnTheHostThreadWithoutHoldingUpTheWorker) {
  HandOver queue;
  logger.SetHandOver(&queue);
  logger.SetTriggerEventInMainThread(true);
  std::thread::id deliveredOn;
  logger.SetOnLog([&](const void*, std::uint32_t, TLogLevel, const std::string&) {
    deliveredOn = std::this_thread::get_id();
  });
  bool returned = false;
  std::thread worker([&] {
    logger.Log(nullptr, llError, "from the worker");
    returned = true;
  });
  worker.join();  // returns without the host having pumped
  EXPECT_TRUE(returned);
  EXPECT_EQ(queue.Pump(), 1);
  EXPECT_EQ(deliveredOn, std::this_thread::get_id());
  logger.SetHandOver(nullptr);
}

}  // namespace
