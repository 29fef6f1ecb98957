// The media probe: opens one file, tells what is in it, and decodes single
// pictures of a video stream on demand (next, previous, after a seek), handed
// out as media::Bitmap. TCustomAVProbe holds the input and builds the texts;
// TAVProbe adds decoding and seeking. Times are microseconds unless a name
// says "Stream" (then the stream's time base).
//
// Every library object a probe holds has one owner: an owner of
// av_owners.h (which names them by forward declaration only, so hosts still
// see no library header), or the picture converter for its own scaler and
// buffer. Closing a file (and destruction) frees them in one order: pictures
// before the decoder that made them, the decoder before the input it read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/av_forward.h"
#include "media/av_owners.h"
#include "media/base_component.h"
#include "media/bitmap.h"
#include "media/utils.h"

namespace media {

struct TBitmapConverter;

struct TFileStreamInfo {
  int64_t StartTime = -1;  // -1 when unknown
  int64_t Duration = -1;
  int BitRate = -1;
  int64_t Timestamp = -1;  // recording time, seconds since 1970 (0 when none)
  int Year = -1;
  int Track = -1;
  std::string Title, Author, Copyright, Comment, Album, Genre;
};

struct TVideoStreamInfo {
  std::string Language;
  std::string CodecName;
  int64_t StreamStartTime = -1;
  int64_t StartTime = -1;
  int64_t StreamDuration = -1;
  int64_t Duration = -1;
  int BitRate = -1;
  int Height = -1;
  int Width = -1;
  float AspectRatio = -1.0f;  // display aspect ratio, 0 without a sample aspect ratio
  int PixFmt = -1;
  int FrameRateNum = -1;
  int FrameRateDen = -1;
};

class TCustomAVProbe : public TFFBaseComponent {
 public:
  TCustomAVProbe() = default;
  ~TCustomAVProbe() override;
  TCustomAVProbe(const TCustomAVProbe&) = delete;
  TCustomAVProbe& operator=(const TCustomAVProbe&) = delete;

  // formatName empty: the format library detects the format. Throws
  // std::runtime_error when the libraries are not loaded.
  bool OpenFile(const std::string& fileName, const std::string& formatName = "");
  virtual void CloseFile();
  virtual void ReadStreamSummary();

  void GetFileStreamInfo(TFileStreamInfo& info);
  // -1: the first video stream.
  void GetVideoStreamInfo(int streamIndex, TVideoStreamInfo& info);
  void GetVideoStreamInfo(TVideoStreamInfo& info) { GetVideoStreamInfo(-1, info); }
  // Lines ending in CR LF; empty when no file is open.
  std::string GetFileInfoText();

  std::string FileName() const;
  std::string FormatName() const;
  // False for an attached input (see ProbeInputAccess) and when none is open.
  bool OwnsInput() const { return openedInput_ != nullptr; }
  const std::string& LastErrorMessage() const { return lastErrorMessage_; }
  const std::string& ForcedFormat() const { return forcedFormat_; }

  int64_t FileSize() const { return fileSize_; }
  int StreamCount() const { return streamCount_; }
  int ProgramCount() const { return programCount_; }
  int AudioStreamCount() const { return audioStreamCount_; }
  int VideoStreamCount() const { return videoStreamCount_; }
  int SubtitleStreamCount() const { return subtitleStreamCount_; }
  int FirstAudioStream() const { return firstAudioStream_; }
  int FirstVideoStream() const { return firstVideoStream_; }
  int FirstSubtitleStream() const { return firstSubtitleStream_; }

 protected:
  // Logs the text at the library level given and keeps it as LastErrorMessage.
  void SetError(int libraryLevel, const std::string& text);
  void CheckLibraries() const;

  // The input read from, null when none: the one OpenFile opened (then
  // openedInput_ owns it) or one attached, which its opener closes.
  AVFormatContext* input_ = nullptr;
  std::string lastErrorMessage_;
  std::string forcedFormat_;

 private:
  // The opened input is the media library's business (probe_access.h).
  friend struct ProbeInputAccess;
  // Adopts an input someone else opened: read from, never closed or seeked.
  void AttachInput(AVFormatContext* context);

  InputContextPtr openedInput_;  // never an attached input
  int64_t fileSize_ = -1;
  int streamCount_ = -1;
  int programCount_ = -1;
  int audioStreamCount_ = -1;
  int videoStreamCount_ = -1;
  int subtitleStreamCount_ = -1;
  int firstAudioStream_ = -1;
  int firstVideoStream_ = -1;
  int firstSubtitleStream_ = -1;
};

class TAVProbe : public TCustomAVProbe {
 public:
  TAVProbe();
  ~TAVProbe() override;

  void CloseFile() override;
  void ReadStreamSummary() override;

  // flags: 1 backward (key frame at or before), 2 by bytes, 4 any frame.
  // timestamp: µs from the file's start, or a byte position with flag 2.
  bool SeekTo(uint8_t flags, int64_t timestamp);
  bool ReadNextFrame(int streamIndex = -1);
  bool ReadPreviousFrame(int streamIndex = -1);
  bool SeekBackToKeyFrame(int streamIndex);
  bool CopyPictureTo(Bitmap& bitmap);
  // How wide one pixel of the picture CopyPictureTo gives is shown, against
  // its height (the stream's sample aspect ratio, turned with the picture);
  // 1 when the stream gives none.
  double PictureSampleAspect() const;
  // A file of one picture ("image2" or an image pipe): never seeked.
  bool IsStillImage() const;

  int PicturePixFmt() const { return picturePixFmt_; }
  int PictureWidth() const { return pictureWidth_; }
  int PictureHeight() const { return pictureHeight_; }
  bool KeyFrame() const { return keyFrame_; }
  int PictureType() const { return pictureType_; }
  int64_t CurrentPTS() const { return currentPTS_; }
  int64_t PacketDTS() const { return packetDTS_; }
  int64_t PacketPTS() const { return packetPTS_; }
  int PacketStreamIndex() const { return packetStreamIndex_; }
  int64_t PicturePos() const { return picturePos_; }
  bool PictureReady() const { return pictureReady_; }
  int64_t PreviousPTS() const { return previousPTS_; }
  int64_t PreviousPos() const { return previousPos_; }
  bool EndOfStream() const { return endOfStream_; }
  int DefaultStream() const { return defaultStream_; }
  int64_t StartOffset() const { return startOffset_; }
  int DecodeStream() const { return decodeStream_; }

 private:
  bool CheckSeekable(bool forSeeking);
  int SelectVideoStream(int index);
  bool OpenDecoder(int index);
  void CloseDecoder();
  void ResetPicture();
  void StorePicture(const AVFrame* frame, int64_t position);
  void CachePicture(const AVFrame* frame, int64_t position);
  void ClearPictureCache();
  int64_t IoPosition() const;

  // Freed under the codec lock it was opened under (CloseDecoder).
  CodecContextPtr decoder_;
  int decoderStream_ = -1;
  bool draining_ = false;  // end of input reached; the decoder gives what it holds
  // Unreferenced after every use: they hold nothing between calls.
  FramePtr frame_;
  PacketPtr packet_;
  std::unique_ptr<TBitmapConverter> converter_;

  int defaultStream_ = -1;
  int64_t startOffset_ = 0;
  int decodeStream_ = -1;
  bool endOfStream_ = false;

  int picturePixFmt_ = -1;
  int pictureWidth_ = -1;
  int pictureHeight_ = -1;
  bool keyFrame_ = false;
  int pictureType_ = 0;
  int64_t currentPTS_ = kNoPts;
  int64_t packetDTS_ = kNoPts;
  int64_t packetPTS_ = kNoPts;
  int packetStreamIndex_ = -1;
  int64_t picturePos_ = -1;
  bool pictureReady_ = false;
  uint8_t* pictureData_[4] = {};
  int pictureLinesize_[4] = {};
  AvMallocPtr pictureBuffer_;  // pictureData_ points into it
  int pictureBufferSize_ = 0;
  int64_t previousPTS_ = kNoPts;
  int64_t previousPos_ = -1;

  // The pictures decoded last, oldest first, so that stepping back through
  // them (and forward again) decodes nothing. The last one is always the last
  // picture the decoder gave, so decoding goes on from there. Emptied by
  // every seek; bounded in bytes, the oldest dropped first.
  struct CachedPicture {
    FramePtr frame;  // shares the decoder's buffers
    int64_t position;
    size_t bytes;
  };
  std::vector<CachedPicture> pictureCache_;
  int pictureCacheIndex_ = -1;  // the one on show; -1: none
  size_t pictureCacheBytes_ = 0;
};

}  // namespace media
