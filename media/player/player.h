// The player component: plays one media file with sound into a display,
// reports its state and position, can hand every picture to the host before
// it is shown, and gives the picture on screen as a bitmap.
//
// Threads: Open, Stop, Seek, GetCurrentBitmap and the setters run on the
// host's thread. OnFileOpen runs inside Open; OnPosition, OnState and OnKey
// reach the host through its HandOver when TriggerEventInMainThread is set
// (else they run on the player's event thread); OnHook always runs on the
// video thread and OnAudioOutput on the audio thread. No handler is ever
// called while the player holds a lock of its own.
//
// Calling back from a handler:
// - From OnFileOpen, OnPosition, OnState and OnKey, on whichever thread they
//   run, every call is allowed, destruction included: opening the next file
//   when psEnd arrives, stopping (with waiting), seeking, pausing, or
//   destroying the player. From OnFileOpen, Open, Stop and destruction take
//   effect once Open is through (the inner Open then says true).
// - OnHook and OnAudioOutput run on the threads that playback is made of,
//   which a waiting stop waits for: from them Seek, TogglePause and
//   Stop(false) are allowed; Stop(true) only asks for the stop, and Open is
//   refused (false), each with the reason in LastErrorMessage; destroying
//   the player from them is a programming error that ends the program with
//   its reason (it cannot wait for its own thread, and would leave the
//   host's display drawn into).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "media/base_component.h"
#include "media/player/display.h"

namespace media {

struct Bitmap;
class HandOver;

// Seek flags: backward to the key frame at or before, a byte position, any frame.
enum TSeekFlags : uint8_t { sfBackward = 1, sfByBytes = 2, sfAnyFrame = 4 };

enum TPlayState { psPlay, psPause, psResume, psStep, psStop, psEnd };

// SDL's driver names. The Windows names stay for the component's interface;
// the default leaves SDL's own choice (and the environment) as it is.
enum TAudioDriver { adDefault, adDirectSound, adWaveOut };
enum TVideoDriver { vdDefault, vdDirectDraw, vdGDI };

using TFileOpenEvent = std::function<void(int64_t duration, int frameWidth, int frameHeight, int& screenWidth,
                                          int& screenHeight)>;
using THookEvent = std::function<void(Bitmap& bitmap, int64_t pts)>;
using TPositionEvent = std::function<void(int64_t pts)>;
using TPlayStateEvent = std::function<void(TPlayState state)>;

// Keys of the player's own window, for the host to act on.
enum TPlayerKey { pkPause, pkSeekBack, pkSeekForward, pkQuit };
using TPlayerKeyEvent = std::function<void(TPlayerKey key)>;
// Every block of sound as it goes to the output (after volume and mute),
// with the moment it was handed over on the steady clock: signed 16-bit,
// interleaved.
using TAudioOutputEvent =
    std::function<void(const int16_t* samples, int frames, int channels, int sampleRate, int64_t handedAtUs)>;

// What the display did since Open.
struct TPlayerCounters {
  int shown = 0;    // pictures shown
  int dropped = 0;  // pictures decoded but dropped as late
  // Picture time minus the audio clock at each picture shown (files with
  // both): how far picture and sound are apart.
  int64_t avOffsetSumUs = 0;  // of the absolute values
  int64_t avOffsetMaxUs = 0;
  int avOffsetSamples = 0;
};

namespace player {
struct PlayerCore;
}

class TCustomPlayer : public TFFBaseComponent {
 public:
  // hostHandOver: the host's hand-over (may be null: events then run on the
  // player's event thread).
  explicit TCustomPlayer(HandOver* hostHandOver);
  ~TCustomPlayer() override;
  TCustomPlayer(const TCustomPlayer&) = delete;
  TCustomPlayer& operator=(const TCustomPlayer&) = delete;

  bool LibrariesLoaded() const;
  bool LoadLibraries(const std::string& path);

  // display null: the player makes a window of its own. The display must
  // outlive the playback (until Stop(true) or the next Open).
  bool Open(const std::string& fileName, player::Display* display, bool paused);
  void Stop(bool wait);
  // flags: 1 backward, 2 by bytes, 4 any frame; else microseconds from the start.
  void Seek(uint8_t flags, int64_t position);
  // Pause toggle of an open file.
  void TogglePause();
  // The picture on screen. Belongs to the player: valid until the next call.
  const Bitmap& GetCurrentBitmap(int64_t& pts);
  const Bitmap& GetCurrentBitmap();

  std::string LastErrorMessage() const;
  TPlayState State() const;
  bool Paused() const;
  int64_t CurrentPosition() const;  // µs from the start, -1 when nothing played
  TPlayerCounters Counters() const;

  // Properties.
  std::string About;
  const char* Version() const { return "2.2a"; }
  float AspectRatio() const;
  void SetAspectRatio(float value);
  TAudioDriver AudioDriver = adDefault;
  TVideoDriver VideoDriver = vdDefault;
  int AudioVolume() const;
  void SetAudioVolume(int value);  // clamped to 0..128
  bool DisableAudio = false;
  bool DisableVideo = false;
  bool DisableDisplay = false;
  bool Mute() const;
  void SetMute(bool value);
  int FrameWidth = 0;
  int FrameHeight = 0;
  // Where the next Open starts playing, µs from the start: its first
  // picture and sound are the ones at this time (0: the beginning).
  int64_t StartPosition = 0;
  bool Hook() const;
  void SetHook(bool value);
  int ScreenWidth = 0;
  int ScreenHeight = 0;
  bool TriggerEventInMainThread = true;

  // Events; set or clear at any time (from the host's thread).
  void SetOnFileOpen(TFileOpenEvent handler);
  void SetOnHook(THookEvent handler);
  void SetOnPosition(TPositionEvent handler);
  void SetOnState(TPlayStateEvent handler);
  void SetOnKey(TPlayerKeyEvent handler);
  void SetOnAudioOutput(TAudioOutputEvent handler);

 private:
  // Shared with the player's own threads and the reports on their way: a
  // handler that destroys the component leaves it to them.
  std::shared_ptr<player::PlayerCore> core_;
};

// The component as the windows use it: the same, with its published defaults.
class TFFPlayer : public TCustomPlayer {
 public:
  using TCustomPlayer::TCustomPlayer;
};

}  // namespace media
