#include "add_run.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <set>

#include "add_video.h"
#include "media/engine/engine.h"
#include "media/hand_over.h"
#include "media/loader.h"
#include "media/probe.h"
#include "output_length.h"
#include "output_settings.h"
#include "program_run.h"
#include "random_file_name.h"
#include "service_client.h"
#include "thumbnail_picture.h"

namespace kestrova::cli {
namespace {

namespace fs = std::filesystem;

volatile std::sig_atomic_t gInterrupted = 0;
void OnInterrupt(int) { gInterrupted = 1; }

// One file of the batch, from preparation to its line of output.
struct AddedFile {
  std::string input;
  std::string sourceName;  // the name without its folder
  fs::path thumbnail;      // empty when the file has no pictures
  fs::path output;
  int64_t total = 0;  // microseconds the conversion will cover
  media::TProgressInfo progress;
  int fps = 0;  // the last encoding speed above 0, as the batch list keeps it
  bool reported = false;
  std::string shortNote;  // said when the output came out much shorter
};

// md beside us: "LibAV/md" as the tool lays it out, or "md" in the build folder.
fs::path FindPostProcessor() {
  const fs::path here = media::ExecutableDir();
  const fs::path staged = catalogue::PostProcessorPath(here);
  return fs::exists(staged) ? staged : here / "md";
}

void RemoveQuietly(const fs::path& path) {
  std::error_code ec;
  if (!path.empty()) fs::remove(path, ec);
}

class AddRun {
 public:
  AddRun(const AddSettings& settings, ServiceClient& service, std::string companyid)
      : settings_(settings), service_(service), companyid_(std::move(companyid)) {}

  // Probes the file, takes its thumbnail and hands it to the engine; a file
  // that cannot be set up is reported and leaves nothing behind.
  void Prepare(const std::string& input) {
    AddedFile file;
    file.input = input;
    file.sourceName = fs::path(input).filename().string();
    std::string error = PrepareFile(file);
    if (!error.empty()) {
      Fail(file, error);
      return;
    }
    files_.push_back(std::move(file));
  }

  int Run() {
    if (!files_.empty()) Convert();
    ClearProgress();
    if (!failed_.empty()) {
      std::string names;
      for (const std::string& n : failed_) names += (names.empty() ? "" : ", ") + n;
      std::cerr << "kestrova-cli add：" << failed_.size() + added_ << " 个文件中有 " << failed_.size()
                << " 个失败：" << names << "\n";
      return 1;
    }
    return 0;
  }

 private:
  std::string PrepareFile(AddedFile& file) {
    media::TAVProbe probe;
    if (!probe.OpenFile(file.input)) return probe.LastErrorMessage();
    media::TFileStreamInfo info;
    probe.GetFileStreamInfo(info);

    convert::OptionFields fields = convert::DefaultOptionFields();
    if (settings_.preset >= 0) convert::ChooseQualityPreset(settings_.preset, fields);
    fields.thumbName = UnusedName();
    fields.outputFolder = (settings_.data / "video").string() + "/";
    fields.inputFileName = file.input;
    fields.inputForcedFormat = probe.ForcedFormat();
    const media::TOutputOptions out = convert::getOutputOptions(fields);
    const media::TInputOptions in = convert::getInputOptions(fields);
    file.output = out.FileName;
    file.total = std::max<int64_t>(info.Duration, 0);

    // A file without pictures (audio only) gets no thumbnail, as in the dialog.
    if (probe.VideoStreamCount() > 0) {
      const int64_t at = settings_.thumbnailAt >= 0 ? settings_.thumbnailAt : file.total / 10;
      const fs::path thumbnail = settings_.data / "zoom" / (fields.thumbName + ".jpg");
      media::Bitmap picture;
      std::string error;
      if (!SaveThumbnail(probe, at, thumbnail.string(), picture, error)) return "缩略图保存失败：" + error;
      file.thumbnail = thumbnail;
    }
    probe.CloseFile();

    const int task = engine_.AddTask(file.input, &in);
    if (task < 0) return engine_.LastErrorMessage();
    if (!engine_.SetOutputFile(task, file.output.string(), &out)) {
      std::string error = engine_.LastErrorMessage();
      engine_.RemoveTask(task);
      return error;
    }
    return "";
  }

  // A fresh name for thumbnail and output, never one this batch or the data
  // folder already uses.
  std::string UnusedName() {
    while (true) {
      std::string name = convert::randomFileName();
      if (names_.insert(name).second && !fs::exists(settings_.data / "zoom" / (name + ".jpg"))) return name;
    }
  }

  void Convert() {
    // The engine reports on its own threads; every report is handed over to
    // this thread, which alone touches the files' records.
    bool batchEnded = false;
    engine_.SetTriggerEventInMainThread(false);
    engine_.SetOnProgress([this](media::TCustomFFmpegEngine&, media::PProgressInfo p) {
      handOver_.Post([this, report = *p] { OnProgress(report); });
    });
    engine_.SetOnTerminate([this, &batchEnded](media::TCustomFFmpegEngine&, const media::TTerminateInfo& info) {
      handOver_.Post([this, &batchEnded, info] {
        if (info.TaskIndex < 0)
          batchEnded = true;
        else
          Finish(files_[static_cast<size_t>(info.TaskIndex)], info);
      });
    });

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction oldInt {}, oldTerm {};
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);

    engine_.StartTask(settings_.jobs);
    bool stopping = false;
    while (!batchEnded) {
      handOver_.PumpUntil([&] { return batchEnded || (gInterrupted && !stopping); }, std::chrono::milliseconds(100));
      if (gInterrupted && !stopping) {
        stopping = true;
        ClearProgress();
        std::cerr << "正在停止……\n";
        engine_.Stop(true);
      }
    }
    engine_.SetOnProgress(nullptr);
    engine_.SetOnTerminate(nullptr);
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    for (AddedFile& file : files_)
      if (!file.reported) Fail(file, "转换开始前已停止");
  }

  void OnProgress(const media::TProgressInfo& p) {
    if (p.TaskIndex < 0 || p.TaskIndex >= static_cast<int>(files_.size())) return;
    AddedFile& file = files_[static_cast<size_t>(p.TaskIndex)];
    file.progress = p;
    if (p.FPS > 0) file.fps = p.FPS;
    if (p.TotalDuration > 0) file.total = p.TotalDuration;
    DrawProgress();
  }

  void Finish(AddedFile& file, const media::TTerminateInfo& info) {
    if (info.Exception) return Fail(file, info.ExceptionMsg);
    if (!info.Finished) return Fail(file, "转换被停止");
    // A damaged or half-copied input converts to its end, but short.
    file.shortNote = convert::ShortOutputNote(convert::ConvertedLength(file.output.string()), file.total);
    if (settings_.strict && !file.shortNote.empty()) return Fail(file, file.shortNote);
    Publish(file);
  }

  // Renames, runs md and waits for it, registers: the desktop tool's steps
  // after its batch dialog closes with OK.
  void Publish(AddedFile& file) {
    catalogue::ConvertedRow row;
    row.sourceName = file.sourceName;
    row.outputName = file.output.filename().string();
    std::error_code ec;
    const auto size = fs::file_size(file.output, ec);
    row.framerate = std::to_string(file.fps);
    row.duration = std::to_string(file.progress.CurrentDuration / 1000000);
    row.fileSize = std::to_string(file.progress.CurrentSize > 0 ? file.progress.CurrentSize
                                                                : static_cast<int64_t>(ec ? 0 : size));
    const fs::path publishedPath = file.output.parent_path() / catalogue::PublishedName(row.outputName);

    std::string failure, warning, reply;
    bool published = false;  // renamed to its published name, which is then ours
    catalogue::PublishSteps steps;
    steps.reportFailure = [&](const catalogue::RowFailure& f) { failure = "无法发布：" + f.reason; };
    steps.postProcess = [&](const fs::path& program, const std::vector<std::string>& words) {
      published = true;
      ClearProgress();
      ProgramResult md = RunProgram(program.string(), words);
      // md leaves the file as it was when it fails: still a playable MP4.
      if (md.exitCode != 0) warning = "md 处理失败，视频要下载完才能播放：" + md.output;
    };
    steps.sendRequest = [&](const std::string& request) {
      try {
        reply = service_.Post(request);
        if (ServiceClient::Result(reply) != "success") {
          std::string message = ServiceClient::Message(reply);
          failure = "后台服务拒绝登记" + (message.empty() ? "" : "：" + message);
        }
      } catch (const std::exception& e) {
        failure = e.what();
      }
    };
    catalogue::PublishConvertedRows({row}, settings_.data, FindPostProcessor(), companyid_, steps);
    if (!failure.empty()) {
      // Not in the catalogue: its files must not be uploaded as if it were.
      // A name that was already taken belongs to an earlier video: kept.
      if (published) RemoveQuietly(publishedPath);
      return Fail(file, failure);
    }
    ClearProgress();
    if (!warning.empty()) std::cerr << "警告：" << file.sourceName << "：" << warning;
    std::cout << "已添加 " << file.sourceName << " -> " << publishedPath.string() << "（" << row.duration << " 秒，"
              << row.fileSize << " 字节）" << (file.shortNote.empty() ? "" : "；" + file.shortNote) << "\n";
    std::cout.flush();
    file.reported = true;
    ++added_;
  }

  void Fail(AddedFile& file, const std::string& reason) {
    RemoveQuietly(file.output);
    RemoveQuietly(file.thumbnail);
    ClearProgress();
    std::cout << "失败 " << file.sourceName << "：" << reason << "\n";
    std::cout.flush();
    file.reported = true;
    failed_.push_back(file.sourceName);
  }

  void DrawProgress() {
    // The bar redraws itself in place: only for a person watching a terminal.
    if (!isatty(STDERR_FILENO)) return;
    int64_t done = 0, total = 0;
    int finished = 0;
    for (const AddedFile& f : files_) {
      total += f.total;
      done += f.reported ? f.total : std::min(std::max<int64_t>(f.progress.CurrentDuration, 0), f.total);
      finished += f.reported;
    }
    const int width = 40;
    const double ratio = total > 0 ? static_cast<double>(done) / total : 0;
    const int filled = static_cast<int>(ratio * width);
    std::fprintf(stderr, "\r[%s%s] %3d%%  %d/%zu 个文件 ", std::string(filled, '#').c_str(),
                 std::string(width - filled, '-').c_str(), static_cast<int>(ratio * 100), finished, files_.size());
    std::fflush(stderr);
    progressShown_ = true;
  }

  void ClearProgress() {
    if (!progressShown_) return;
    std::fprintf(stderr, "\r%70s\r", "");
    std::fflush(stderr);
    progressShown_ = false;
  }

  const AddSettings& settings_;
  ServiceClient& service_;
  std::string companyid_;
  // Before the engine: it must outlive the engine's report threads.
  media::HandOver handOver_;
  media::TFFmpegEngine engine_;
  std::vector<AddedFile> files_;  // in task order
  std::set<std::string> names_;
  std::vector<std::string> failed_;
  size_t added_ = 0;
  bool progressShown_ = false;
};

}  // namespace

int AddFiles(const AddSettings& settings, ServiceClient& service, const std::string& companyid,
             const std::vector<std::string>& files) {
  AddRun run(settings, service, companyid);
  for (const std::string& file : files) run.Prepare(file);
  return run.Run();
}

}  // namespace kestrova::cli
