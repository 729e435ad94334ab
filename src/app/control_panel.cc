#include "app/control_panel.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "app/dialog_units.h"
#include "app/qt_text.h"
#include "control/capture_id.h"
#include "control/program_session.h"

namespace velmarin::app {
namespace {

struct Key {
  char digit;
  int x, y;
};
// Form 101's keypad, in tab order: "1" to "9", then "0".
// The status line naming a still that was given up.
constexpr double kFailedStillPoints = 9;
constexpr QRgb kFailedStillColor = qRgb(0xD0, 0x00, 0x00);

constexpr Key kKeypad[] = {{'1', 5, 27},  {'2', 29, 27}, {'3', 53, 27}, {'4', 5, 47},
                           {'5', 29, 47}, {'6', 53, 47}, {'7', 5, 67},  {'8', 29, 67},
                           {'9', 53, 67}, {'0', 5, 87}};

}  // namespace

ControlPanel::ControlPanel(ProgramSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
  const QFont font = FormFont("ＭＳ Ｐゴシック", 12);
  setFont(font);
  const DialogBaseUnits units = BaseUnitsOf(font);
  setFixedSize(DialogRect(units, 0, 0, 80, 131).size());

  const auto button = [&](const QString& caption, int x, int y, int w) {
    auto* b = new QPushButton(caption, this);
    b->setGeometry(DialogRect(units, x, y, w, 20));
    b->setAutoDefault(false);  // Enter is the start accelerator, never a button press
    return b;
  };
  // Created in the form's tab order.
  id_field_ = new QLineEdit(this);
  id_field_->setGeometry(DialogRect(units, 5, 13, 72, 14));
  id_field_->setMaxLength(kMaxIdCharacters);
  status_line_ = new QLabel(QStringLiteral("Static"), this);
  status_line_->setGeometry(DialogRect(units, 4, 3, 72, 8));
  status_line_->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  for (const Key& key : kKeypad) {
    QPushButton* b = button(QString(QLatin1Char(key.digit)), key.x, key.y, 24);
    // A click leaves the focus, and so the caret and the selection, in the ID field.
    b->setFocusPolicy(Qt::TabFocus);
    digit_buttons_[key.digit - '0'] = b;
    connect(b, &QPushButton::clicked, this, [this, digit = key.digit] { InsertDigit(digit); });
  }
  delete_button_ = button(QStringLiteral("C"), 29, 87, 24);
  clear_button_ = button(QStringLiteral("AC"), 53, 87, 24);
  delete_button_->setFocusPolicy(Qt::TabFocus);
  clear_button_->setFocusPolicy(Qt::TabFocus);
  start_button_ = button(QStringLiteral("IDで開始"), 41, 109, 36);
  stop_button_ = button(QStringLiteral("監視停止"), 5, 109, 36);
  connect(delete_button_, &QPushButton::clicked, this, &ControlPanel::DeleteOne);
  connect(clear_button_, &QPushButton::clicked, this, &ControlPanel::ClearAll);
  connect(start_button_, &QPushButton::clicked, this, &ControlPanel::StartWithId);
  connect(stop_button_, &QPushButton::clicked, this, &ControlPanel::Stop);
  // "監視停止" stands left of "IDで開始" but comes after it in the tab order.
  setTabOrder(start_button_, stop_button_);
}

int ControlPanel::SelectionEnd() const {
  const int end =
      id_field_->hasSelectedText() ? id_field_->selectionEnd() : id_field_->cursorPosition();
  // Typed characters not yet taken over can put the caret past the ID text.
  return std::min(end, static_cast<int>(id_text_.size()));
}

void ControlPanel::PlaceCaret(int position) {
  id_field_->setSelection(position, 0);
  id_field_->setCursorPosition(position);
}

void ControlPanel::InsertDigit(char digit) {
  if (id_text_.size() >= kMaxIdCharacters) return;
  const int position = SelectionEnd();
  id_text_.insert(position, QLatin1Char(digit));
  TransferToControls();
  PlaceCaret(position + 1);
}

void ControlPanel::DeleteOne() {
  if (id_text_.isEmpty()) return;
  const int position = SelectionEnd();
  if (position == 0) return;
  id_text_.remove(position - 1, 1);
  TransferToControls();
  PlaceCaret(position - 1);
}

void ControlPanel::ClearAll() {
  id_text_.clear();
  TransferToControls();
}

std::optional<Cp932Text> ControlPanel::ReadIdText() {
  TypedTextError error{};
  const auto id = CaptureIdFromTyped(id_field_->text().toStdString(), &error);
  if (!id) {
    QMessageBox::warning(
        this, QStringLiteral("Velmarin"),
        error == TypedTextError::kNotCp932
            ? QStringLiteral("IDにシフトJIS（コードページ932）で書けない文字が"
                             "あります。IDは取り込まれませんでした。")
            : QStringLiteral("IDがシフトJISで10バイトを超えています（日本語の"
                             "文字は1文字2バイト）。IDは取り込まれませんでした。"));
    return std::nullopt;
  }
  return id;
}

std::optional<Cp932Text> ControlPanel::TakeIdText() {
  auto id = ReadIdText();
  if (id) id_text_ = id_field_->text().isEmpty() ? QStringLiteral("0") : id_field_->text();
  return id;
}

bool ControlPanel::StartWithId() {
  const auto id = TakeIdText();
  if (!id) return false;
  const auto status = session_.StartWithId(*id);
  if (!status) return false;  // the window is closing
  SetStatusText(*status);
  TransferToControls();
  if (on_started) on_started();
  return true;
}

void ControlPanel::Stop() {
  SetStatusText(session_.Stop());
  TransferToControls();
}

void ControlPanel::SetIdText(const QString& id) {
  id_text_ = id;
  TransferToControls();
}

void ControlPanel::SetStatusText(const Cp932Text& text) {
  status_text_ = FromCp932(text);
  failed_still_.clear();
}

void ControlPanel::ShowFailedStill(const QString& name) {
  failed_still_ = name;
  TransferToControls();
}

void ControlPanel::ClearFailedStill() {
  if (failed_still_.isEmpty()) return;
  failed_still_.clear();
  TransferToControls();
}

void ControlPanel::TransferToControls() {
  id_field_->setText(id_text_);
  if (failed_still_.isEmpty()) {
    status_line_->setFont(font());
    status_line_->setPalette(palette());
    status_line_->setToolTip(QString());
    status_line_->setText(status_text_);
    return;
  }
  // In red, and smaller so that a still's name fits the narrow line; a longer one is shortened
  // in its middle and shown whole as a tooltip.
  QFont small = font();
  small.setPointSizeF(kFailedStillPoints);
  status_line_->setFont(small);
  QPalette red = palette();
  red.setColor(QPalette::WindowText, QColor(kFailedStillColor));
  status_line_->setPalette(red);
  const QString line = QStringLiteral("失敗: %1").arg(failed_still_);
  status_line_->setToolTip(line);
  status_line_->setText(
      QFontMetrics(small).elidedText(line, Qt::ElideMiddle, status_line_->contentsRect().width()));
}

}  // namespace velmarin::app
