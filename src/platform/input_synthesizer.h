#pragma once

namespace velmarin {

// Synthesized keyboard and mouse input for the window that has the focus (or lies under the
// pointer). Keys are Windows virtual-key codes, as the settings hold them; positions are
// screen pixels. A backend that cannot deliver input does nothing on every call. Each event
// call says whether its event went out: false when nothing can be delivered, the key stands
// for no key here or the pointer cannot be placed (the backend says why, once).
class InputSynthesizer {
 public:
  virtual ~InputSynthesizer() = default;

  // False when no input can be delivered (no display, no synthesis support).
  virtual bool available() = 0;
  // Makes ready what the first event needs, so it is not delayed (called when monitoring
  // starts); nothing for backends that need no preparation.
  virtual void Prepare() {}

  virtual bool KeyDown(int virtual_key) = 0;
  virtual bool KeyUp(int virtual_key) = 0;
  // Moves the pointer; it stays there.
  virtual bool MoveTo(int x, int y) = 0;
  virtual bool LeftButtonDown() = 0;
  virtual bool LeftButtonUp() = 0;
  // Delivers what was sent so far; called once at the end of every event sequence. False when
  // what was sent may not have arrived (the display went away meanwhile).
  virtual bool Flush() = 0;
};

}  // namespace velmarin
