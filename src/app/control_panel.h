#pragma once

#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "base/cp932_text.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmarin {
class ProgramSession;
}

namespace velmarin::app {

// The monitoring control panel: the status line, the ID field, the keypad, "IDで開始" and
// "監視停止", laid out in dialog units of "ＭＳ Ｐゴシック" 12 pt.
//
// Like a Windows form with data exchange, the panel keeps the ID text and the status text
// itself and copies them into the controls ("transfer to the controls"); the ID field's
// contents are taken back only by "IDで開始". So the keypad works on the last ID taken over.
class ControlPanel : public QWidget {
 public:
  static constexpr int kMaxIdCharacters = 10;

  ControlPanel(ProgramSession& session, QWidget* parent = nullptr);

  // Keypad: a digit at the end of the field's selection, unless the ID is full.
  void InsertDigit(char digit);
  // "C": the character before the end of the selection, if any.
  void DeleteOne();
  // "AC".
  void ClearAll();
  // "IDで開始" (and Enter). False when the typed ID was refused with a message, or the session
  // refused the start as it is closing.
  bool StartWithId();
  // Takes the ID field's text over as the ID ("0" when empty) and returns it in code page
  // 932; nullopt when it was refused with a message.
  std::optional<Cp932Text> TakeIdText();
  // The ID the field's text gives ("0" when empty) in code page 932, the field left as it is;
  // nullopt when it was refused with a message.
  std::optional<Cp932Text> ReadIdText();
  // "監視停止".
  void Stop();

  // The ID text, shown in the field.
  void SetIdText(const QString& id);
  // The status line, code page 932 as the session returns it. It also ends a failed still's
  // line: the status line answers the command that set it.
  void SetStatusText(const Cp932Text& text);
  // The status line names a still that was given up ("失敗: NAME"), in red, until
  // ClearFailedStill (the next still that goes through) or the next SetStatusText.
  void ShowFailedStill(const QString& name);
  void ClearFailedStill();
  bool showing_failed_still() const { return !failed_still_.isEmpty(); }
  void TransferToControls();

  const QString& id_text() const { return id_text_; }
  QString status_text() const { return status_text_; }
  QLineEdit* id_field() const { return id_field_; }
  QLabel* status_line() const { return status_line_; }
  QPushButton* digit_button(int digit) const { return digit_buttons_.at(digit); }
  QPushButton* delete_button() const { return delete_button_; }
  QPushButton* clear_button() const { return clear_button_; }
  QPushButton* start_button() const { return start_button_; }
  QPushButton* stop_button() const { return stop_button_; }

  // Called after every start (the window redraws its title and comes to the top).
  std::function<void()> on_started;

 private:
  // The end of the ID field's selection (the caret without one), never past the ID text.
  int SelectionEnd() const;
  void PlaceCaret(int position);

  ProgramSession& session_;
  QString id_text_;
  QString status_text_;
  QString failed_still_;  // the name of the still the status line says failed, if any
  QLineEdit* id_field_;
  QLabel* status_line_;
  std::array<QPushButton*, 10> digit_buttons_{};
  QPushButton* delete_button_;
  QPushButton* clear_button_;
  QPushButton* start_button_;
  QPushButton* stop_button_;
};

}  // namespace velmarin::app
