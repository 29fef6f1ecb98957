// Shared by the engine tests: the engine libraries, loaded once per program.
#pragma once

#include <gtest/gtest.h>

#include "media/loader.h"

namespace kestrova::test {

inline void LoadEngineLibrariesOrFail() {
  ASSERT_TRUE(media::FFmpegLoader().Load(media::EngineLibraries)) << media::FFmpegLoader().LastError();
}

}  // namespace kestrova::test
