// Which of a player's handlers run further up the calling thread's stack.
// The player asks before a call that waits: from inside a report handler
// (OnFileOpen, OnPosition, OnState, OnKey) a wait for the event thread would
// wait for that very handler, and OnHook and OnAudioOutput run on the threads
// that a stop waits for. Internal to the player.
#pragma once

namespace media::player {

enum class HandlerKind { kReport, kMediaThread };

// Marks the handler call it surrounds. The player is known by its address
// only, never touched: the handler may destroy it.
class CallScope {
 public:
  CallScope(const void* player, HandlerKind kind);
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

  static bool Inside(const void* player, HandlerKind kind);
};

}  // namespace media::player
