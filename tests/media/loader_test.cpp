// The loader against Debian's real FFmpeg and SDL2 libraries, and against a
// small stand-in library built with the tests. The loader is process-wide, so
// the cases run in order and each leaves it as it found it.
#include <gtest/gtest.h>

#include <filesystem>

#include "media/entry_points.h"
#include "media/loader.h"
#include "media/logger.h"
#include "media/probe.h"
#include "process.h"

using namespace media;

namespace {

class LoaderTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (int id = 0; id < kLibraryCount; ++id) FFmpegLoader().SetLibraryFileName(TLibraryId(id), "");
    FFmpegLoader().SetLibraryPath(ExecutableDir() + "LibAV/");
    FFmpegLoader().Unload(PlayerLibraries | LibraryBit(libAVDevice));
  }
};

TEST_F(LoaderTest, DefaultsToLibAvBesideTheExecutable) {
  EXPECT_EQ(FFmpegLoader().LibraryPath(), ExecutableDir() + "LibAV/");
  EXPECT_EQ(FFmpegLoader().LibraryFileName(libAVCodec), "libavcodec.so.59");
  EXPECT_EQ(FFmpegLoader().LibraryFileName(libSDL), "libSDL2-2.0.so.0");
}

TEST_F(LoaderTest, MissingSdlUnloadsWhatThisCallLoaded) {
  FFmpegLoader().SetLibraryFileName(libSDL, "libSDL-missing.so.0");
  EXPECT_FALSE(FFmpegLoader().Load(PlayerLibraries));
  const std::string& error = FFmpegLoader().LastError();
  EXPECT_EQ(error.rfind("Load library " + FFmpegLoader().LibraryPath() + "libSDL-missing.so.0 error: ", 0), 0u)
      << error;
  EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
  for (int id = 0; id < kLibraryCount; ++id) EXPECT_FALSE(FFmpegLoader().IsLoaded(TLibraryId(id))) << id;
  EXPECT_EQ(Av().avcodec_open2, nullptr);
  EXPECT_EQ(Av().av_log, nullptr);
}

TEST_F(LoaderTest, FailedPlayerSetKeepsTheEngineSetAnotherComponentLoaded) {
  ASSERT_TRUE(FFmpegLoader().Load(EngineLibraries)) << FFmpegLoader().LastError();
  FFmpegLoader().SetLibraryFileName(libSDL, "libSDL-missing.so.0");
  EXPECT_FALSE(FFmpegLoader().Load(PlayerLibraries));
  EXPECT_TRUE(FFmpegLoader().Loaded(EngineLibraries));
  EXPECT_NE(Av().avcodec_send_packet, nullptr);
}

TEST_F(LoaderTest, PlayerSetThenEngineSetIsANoOp) {
  ASSERT_TRUE(FFmpegLoader().Load(PlayerLibraries)) << FFmpegLoader().LastError();
  EXPECT_TRUE(FFmpegLoader().Loaded(PlayerLibraries));
  auto* before = Av().avcodec_open2;
  EXPECT_TRUE(FFmpegLoader().Load(EngineLibraries));
  EXPECT_EQ(Av().avcodec_open2, before);
  EXPECT_FALSE(FFmpegLoader().IsLoaded(libAVDevice));  // in no set
  // Entry points work through the table, and the log hook went in after avutil.
  EXPECT_EQ(Av().avcodec_version() >> 16, unsigned(LIBAVCODEC_VERSION_MAJOR));
  EXPECT_NE(Av().avcodec_find_decoder(AV_CODEC_ID_H264), nullptr);
  SDL_version version{};
  Av().SDL_GetVersion(&version);
  EXPECT_EQ(version.major, 2);
}

TEST_F(LoaderTest, MissingOptionalEntryPointLeavesItsSlotEmpty) {
  ASSERT_TRUE(FFmpegLoader().Load(EngineLibraries));
  EXPECT_TRUE(FFmpegLoader().IsLoaded(libAVCodec));
  EXPECT_EQ(Av().avcodec_get_edge_width, nullptr);
}

TEST_F(LoaderTest, MissingRequiredEntryPointFailsTheLibrary) {
  FFmpegLoader().SetLibraryFileName(libAVDevice, FAKE_AVDEVICE_PARTIAL);
  EXPECT_FALSE(FFmpegLoader().LoadLibrary(libAVDevice));
  const std::string& error = FFmpegLoader().LastError();
  EXPECT_EQ(error.rfind(std::string("Load function avdevice_register_all@") + FAKE_AVDEVICE_PARTIAL + " error: ", 0),
            0u)
      << error;
  EXPECT_FALSE(FFmpegLoader().IsLoaded(libAVDevice));
  EXPECT_EQ(Av().avdevice_version, nullptr);  // slots bound before the failure are cleared

  FFmpegLoader().SetLibraryFileName(libAVDevice, FAKE_AVDEVICE_FULL);
  ASSERT_TRUE(FFmpegLoader().LoadLibrary(libAVDevice)) << FFmpegLoader().LastError();
  EXPECT_EQ((Av().avdevice_version() >> 8) & 0xff, 99u);
}

TEST_F(LoaderTest, LibraryFolderIsSearchedBeforeTheSystem) {
  kestrova::test::TempDir folder;
  std::filesystem::copy_file(FAKE_AVDEVICE_FULL, folder / "libavdevice.so.59");
  FFmpegLoader().SetLibraryPath(folder.path().string());  // no trailing slash: one is added
  ASSERT_TRUE(FFmpegLoader().LoadLibrary(libAVDevice)) << FFmpegLoader().LastError();
  EXPECT_EQ((Av().avdevice_version() >> 8) & 0xff, 99u);
  FFmpegLoader().UnloadLibrary(libAVDevice);

  // Not in the folder: the system's copy.
  FFmpegLoader().SetLibraryPath((folder / "empty").string());
  ASSERT_TRUE(FFmpegLoader().LoadLibrary(libAVDevice)) << FFmpegLoader().LastError();
  EXPECT_NE((Av().avdevice_version() >> 8) & 0xff, 99u);
}

TEST_F(LoaderTest, ProbeRefusesToWorkWithoutItsLibraries) {
  TAVProbe probe;
  try {
    probe.OpenFile("any.mp4");
    FAIL() << "expected an error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "LibAVCodec not loaded.");
  }
  ASSERT_TRUE(FFmpegLoader().LoadLibrary(libAVUtil));
  ASSERT_TRUE(FFmpegLoader().LoadLibrary(libSwResample));
  ASSERT_TRUE(FFmpegLoader().LoadLibrary(libAVCodec));
  ASSERT_TRUE(FFmpegLoader().LoadLibrary(libAVFormat));
  try {
    probe.OpenFile("any.mp4");
    FAIL() << "expected an error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "LibSwScale not loaded.");
  }
}

TEST(BindSymbolTest, MissingVariableNamesItsKind) {
  try {
    BindSymbol("libx.so", nullptr, "some_table", false, "variable");
    FAIL() << "expected an error";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Load variable some_table@libx.so error: ", 0), 0u) << e.what();
  }
  EXPECT_EQ(BindSymbol("libx.so", nullptr, "some_table", true), nullptr);
}

}  // namespace
