#pragma once

#include <optional>
#include <string_view>

#include "base/message_sink.h"
#include "platform/input_synthesizer.h"
#include "settings/settings.h"

namespace velmarin {

// The virtual-key code a KeyCode value selects; 0 selects the left click. One byte is taken
// by its byte value ("A" gives 0x41); two bytes are hexadecimal digits, of which the leading
// ones count ("7b" gives 0x7B, "5z" gives 0x05, "zz" gives 0); any other length gives 0.
int CaptureKeyCode(std::string_view key_code);

// Sends the input that makes the capture program save a still, from KeyCode, Modifiers,
// MouseX and MouseY: the key stroke with Ctrl, Alt and Shift held as Modifiers says, or, when
// KeyCode selects no key, a left click at (MouseX, MouseY) that leaves the pointer there.
// Whole sequences never interleave, whichever threads call at the same time.
// Returns false when the stroke or click did not reach the desktop: the input cannot be
// synthesized, the key has no key here, the pointer cannot be placed or the display went away
// (the backend says why), or the click position is not a number (said to `messages`, when given) -
// a click at a guessed place could hit any window on the screen.
bool FireCaptureEvent(const Settings& settings, InputSynthesizer& input,
                      MessageSink* messages = nullptr);

// Moves the mouse pointer to screen (x, y) without clicking, between whole event sequences.
// False when the pointer was not moved.
bool MovePointerTo(InputSynthesizer& input, int x, int y);

}  // namespace velmarin
