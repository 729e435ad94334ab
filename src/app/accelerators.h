#pragma once

#include <Qt>

namespace velmarin::app {

// What a key of the main window's accelerator table does. The table is consulted before the
// form's controls see a key, so none of these keys reaches the ID field.
enum class Accelerator {
  kNone,          // not in the table: the key goes to the control with the focus
  kStart,         // Enter: "IDで開始"
  kNewDocument,   // Ctrl+N: the initial update runs again
  kOpenDocument,  // Ctrl+O: open dialog, nothing is read, the initial update runs again
  kSaveDocument,  // Ctrl+S: save dialog, the chosen file is written empty
  kConsumed,      // clipboard, undo and pane keys: swallowed, nothing happens
};

// The accelerator of `key` with exactly `modifiers` held (the keypad flag is ignored).
Accelerator AcceleratorFor(int key, Qt::KeyboardModifiers modifiers);

}  // namespace velmarin::app
