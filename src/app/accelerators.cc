#include "app/accelerators.h"

namespace velmarin::app {
namespace {

struct Entry {
  int key;
  Qt::KeyboardModifiers modifiers;
  Accelerator accelerator;
};

const Entry kTable[] = {
    {Qt::Key_Return, Qt::NoModifier, Accelerator::kStart},
    {Qt::Key_Enter, Qt::NoModifier, Accelerator::kStart},
    {Qt::Key_C, Qt::ControlModifier, Accelerator::kConsumed},
    {Qt::Key_Insert, Qt::ControlModifier, Accelerator::kConsumed},
    {Qt::Key_X, Qt::ControlModifier, Accelerator::kConsumed},
    {Qt::Key_Delete, Qt::ShiftModifier, Accelerator::kConsumed},
    {Qt::Key_V, Qt::ControlModifier, Accelerator::kConsumed},
    {Qt::Key_Insert, Qt::ShiftModifier, Accelerator::kConsumed},
    {Qt::Key_Z, Qt::ControlModifier, Accelerator::kConsumed},
    {Qt::Key_Backspace, Qt::AltModifier, Accelerator::kConsumed},
    {Qt::Key_N, Qt::ControlModifier, Accelerator::kNewDocument},
    {Qt::Key_O, Qt::ControlModifier, Accelerator::kOpenDocument},
    {Qt::Key_S, Qt::ControlModifier, Accelerator::kSaveDocument},
    {Qt::Key_F6, Qt::NoModifier, Accelerator::kConsumed},
    {Qt::Key_F6, Qt::ShiftModifier, Accelerator::kConsumed},
};

}  // namespace

Accelerator AcceleratorFor(int key, Qt::KeyboardModifiers modifiers) {
  modifiers &= ~Qt::KeypadModifier;
  for (const Entry& entry : kTable) {
    if (entry.key == key && entry.modifiers == modifiers) return entry.accelerator;
  }
  return Accelerator::kNone;
}

}  // namespace velmarin::app
