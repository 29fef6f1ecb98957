// Common base of the logger, the probe, the player and the engine component.
// It adds nothing of its own; it gives log senders one type to point at.
#pragma once

namespace media {

class TFFBaseComponent {
 public:
  virtual ~TFFBaseComponent() = default;
};

}  // namespace media
