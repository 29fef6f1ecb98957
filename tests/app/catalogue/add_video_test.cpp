// Publishing a converted batch: published names, the post-processor's
// command line, one request per row, and rows whose file holds nothing or
// cannot be renamed reported and skipped instead of registered.
#include <gtest/gtest.h>

#include "add_video.h"
#include "process.h"
#include "request_texts.h"

namespace kestrova::catalogue {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(AddVideo, PublishedNameAndPostProcessorCommandLine) {
  EXPECT_EQ(PublishedName("Ab12cd34Ef56gh78.mp4"), "Ab12cd34Ef56gh78.html");
  EXPECT_EQ(PublishedName("Holiday_(new_1).mp4"), "Holiday_(new_1).html");
  EXPECT_EQ(PublishedName("a.b.mp4"), "a.b.html");
  EXPECT_EQ(PublishedName("NoExtension"), "NoExtension.html");

  EXPECT_EQ(PostProcessorPath("/opt/kestrova"), fs::path("/opt/kestrova/LibAV/md"));
  const std::string text = PostProcessorParameters("/d/data/video/My Clip.html");
  EXPECT_EQ(text, "  -inter 500  \"/d/data/video/My Clip.html\"");
  EXPECT_EQ(SplitParameters(text), (std::vector<std::string>{"-inter", "500", "/d/data/video/My Clip.html"}));
  EXPECT_EQ(SplitParameters(""), std::vector<std::string>{});
  EXPECT_EQ(SplitParameters("\"\" x"), (std::vector<std::string>{"", "x"}));
}

struct Recorded {
  std::vector<std::vector<std::string>> postProcessed;
  std::vector<std::string> requests;
  std::vector<RowFailure> failures;
};

PublishSteps RecordingSteps(Recorded& r) {
  return {[&r](const fs::path& program, const std::vector<std::string>& words) {
            std::vector<std::string> line{program.string()};
            line.insert(line.end(), words.begin(), words.end());
            r.postProcessed.push_back(line);
          },
          [&r](const std::string& request) { r.requests.push_back(request); },
          [&r](const RowFailure& f) { r.failures.push_back(f); },
          nullptr};  // no registration follower: requests go through sendRequest
}

TEST(AddVideo, EachRowIsRenamedPostProcessedAndRegistered) {
  TempDir exe;
  const fs::path data = exe / "data";
  fs::create_directories(data / "video");
  WriteFile(data / "video" / "Ab12cd34Ef56gh78.mp4", "first");
  WriteFile(data / "video" / "Zz98yy76Xx54ww32", "second");
  const std::vector<ConvertedRow> rows = {
      {"My Clip.avi", "Ab12cd34Ef56gh78.mp4", "25", "12", "3456"},
      {"a.b.mp4", "Zz98yy76Xx54ww32", "15", "3", "99"},
  };
  Recorded r;
  EXPECT_EQ(PublishConvertedRows(rows, data, PostProcessorPath(exe.path()), "42", RecordingSteps(r)), 2u);

  EXPECT_TRUE(r.failures.empty());
  EXPECT_EQ(ReadFile(data / "video" / "Ab12cd34Ef56gh78.html"), "first");
  EXPECT_EQ(ReadFile(data / "video" / "Zz98yy76Xx54ww32.html"), "second");
  EXPECT_FALSE(fs::exists(data / "video" / "Ab12cd34Ef56gh78.mp4"));
  ASSERT_EQ(r.postProcessed.size(), 2u);
  EXPECT_EQ(r.postProcessed[0], (std::vector<std::string>{(exe / "LibAV" / "md").string(), "-inter", "500",
                                                          (data / "video" / "Ab12cd34Ef56gh78.html").string()}));
  ASSERT_EQ(r.requests.size(), 2u);
  EXPECT_EQ(r.requests[0], service::SaveUploadFileRequest(
                               {"Ab12cd34Ef56gh78.html", "My Clip", "My Clip", "12", "25", "42", "3456"}));
  EXPECT_EQ(r.requests[1],
            service::SaveUploadFileRequest({"Zz98yy76Xx54ww32.html", "a", "a", "3", "15", "42", "99"}));
}

TEST(AddVideo, RowThatIsNotConvertedOrCannotBeRenamedIsReportedAndSkipped) {
  TempDir exe;
  const fs::path video = exe / "data" / "video";
  fs::create_directories(video);
  // Row 0: its output is gone. Row 1: its published name already holds an
  // earlier video, which must survive. Row 2: fine. Row 3: its task never
  // ran (a stopped batch), leaving the empty file the engine set up.
  WriteFile(video / "Taken.mp4", "new");
  WriteFile(video / "Taken.html", "earlier video");
  WriteFile(video / "Fine.mp4", "fine");
  WriteFile(video / "Stopped.mp4", "");
  WriteFile(exe / "data/zoom/Stopped.jpg", "thumbnail of a video never made");
  const std::vector<ConvertedRow> rows = {
      {"gone.avi", "Gone.mp4", "25", "1", "1"},
      {"taken.avi", "Taken.mp4", "25", "1", "1"},
      {"fine.avi", "Fine.mp4", "25", "1", "1"},
      {"stopped.avi", "Stopped.mp4", "", "", ""},
  };
  Recorded r;
  EXPECT_EQ(PublishConvertedRows(rows, exe / "data", PostProcessorPath(exe.path()), "42", RecordingSteps(r)), 1u);

  ASSERT_EQ(r.failures.size(), 3u);
  const struct {
    size_t row;
    RowFailure::Kind kind;
    const char* text;
  } expected[] = {
      {0, RowFailure::Kind::NotConverted, "视频文件“Gone.mp4”未转换（转换后的文件不存在或为空），未登记"},
      {1, RowFailure::Kind::RenameFailed, "视频文件“Taken.mp4”无法改名为“Taken.html”（File exists），未登记"},
      {3, RowFailure::Kind::NotConverted, "视频文件“Stopped.mp4”未转换（转换后的文件不存在或为空），未登记"},
  };
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(r.failures[i].row, expected[i].row);
    EXPECT_EQ(r.failures[i].kind, expected[i].kind);
    EXPECT_EQ(RowFailureText(r.failures[i]), expected[i].text);
  }
  EXPECT_FALSE(fs::exists(video / "Stopped.html"));
  EXPECT_FALSE(fs::exists(exe / "data/zoom/Stopped.jpg")) << "a thumbnail of no video would be uploaded";
  EXPECT_EQ(ReadFile(video / "Taken.html"), "earlier video");
  EXPECT_EQ(ReadFile(video / "Taken.mp4"), "new");
  ASSERT_EQ(r.requests.size(), 1u);
  EXPECT_NE(r.requests[0].find("fileName=\"Fine.html\""), std::string::npos);
  EXPECT_EQ(r.postProcessed.size(), 1u);
}

}  // namespace
}  // namespace kestrova::catalogue
