#include "app/naming_dialog.h"

#include <QComboBox>
#include <QFutureWatcher>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPromise>
#include <QPushButton>

#include <algorithm>
#include <exception>
#include <thread>

#include "app/combo_text.h"
#include "app/dialog_controls.h"
#include "app/qt_text.h"
#include "app/typed_text_field.h"
#include "base/replace_all.h"
#include "control/font_names.h"
#include "control/text_lines_edit.h"
#include "naming/template_expansion.h"
#include "naming/transfer_path.h"
#include "platform/encoding.h"
#include "settings/typed_text.h"

namespace velmarin::app {
namespace {

// The multi-line edit's text with its line breaks as "\r\n", as the stamps are split.
QString WithCrLf(QString text) { return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n")); }
QString WithoutCr(QString text) {
  return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

Cp932Text FileNameLine(const Cp932Text& name) {
  return Utf8ToCp932Replacing("転送ファイル名 = ") + name;
}

// Runs `search` on a thread of its own and puts its line into `area` when it returns. A search
// on a stalled network folder may never return: the thread is left to itself and ends with the
// process. When the area has gone meanwhile, its watcher went with it and nothing is touched.
void FillFileNameLineWhenFound(PreviewArea& area, std::function<Cp932Text()> search) {
  auto promise = std::make_shared<QPromise<Cp932Text>>();
  auto* watcher = new QFutureWatcher<Cp932Text>(&area);
  QObject::connect(watcher, &QFutureWatcherBase::finished, &area, [watcher, &area] {
    if (watcher->future().resultCount() > 0) area.SetFileNameLine(watcher->result());
  });
  watcher->setFuture(promise->future());
  promise->start();
  std::thread([promise, search = std::move(search)] {
    try {
      promise->addResult(search());
    } catch (const std::exception&) {
      // The placeholder stays.
    }
    promise->finish();
  }).detach();
}

}  // namespace

NamingDialog::NamingDialog(NamingFields fields, Context context, QWidget* parent)
    : QDialog(parent), fields_(std::move(fields)), context_(std::move(context)) {
  setWindowTitle(QStringLiteral("転送ファイル名文字列設定、画像への書き込み文字列設定"));
  DialogBuilder build(*this, 263, 280);

  build.Group(QStringLiteral("転送画像のファイル名と、書き込み文字に使用可能な文字フォーマット"), 5,
              5, 250, 60);
  build.Static(QStringLiteral("$i06 -> IDとその桁数（この例では６桁）"), 10, 18, 115, 8);
  build.Static(QStringLiteral("$r03 -> 連番とその桁数（この例では3桁)"), 133, 18, 121, 8);
  build.Static(QStringLiteral("$y ->西暦   $M ->月   $d ->日   $h ->時   $m ->分   $s ->秒"), 10,
               30, 200, 8);
  build.Static(QStringLiteral("任意の文字も書けます。\nさらに、ファイル名文字列では \\ "
                              "で挟んでサブフォルダの指定も可能です。"),
               10, 42, 235, 17);
  name_format_ = build.Edit(1015, 5, 70, 95, 12);
  build.Static(QStringLiteral("転送画像に付けるファイル名の文字列フォーマット。"), 105, 73, 150, 8);
  range_ = build.Edit(1039, 5, 90, 47, 12);
  build.Static(
      QStringLiteral("転送画像の取り込み範囲：左上、右下２点の位置（x1,y1,x2,y2）で設定。\n"
                     "範囲以外を書き込み文字背景色で埋めます。"),
      55, 89, 205, 20);
  text_color_ = build.Edit(1052, 5, 110, 30, 12);
  build.Static(QStringLiteral("書き込み文字色RGB（例：FFFFFF）"), 41, 112, 103, 8);
  back_color_ = build.Edit(1053, 5, 125, 30, 12);
  build.Static(QStringLiteral("書き込み文字背景色RGB(例：646464)"), 41, 127, 111, 8);
  font_ = build.Combo(1045, 5, 140, 99, 177);
  build.Static(QStringLiteral("書き込み文字フォント"), 105, 143, 63, 8);
  build.Static(
      QStringLiteral(
          "画像への文字書き込みは、サイズ（ポイントx10）、位置(x,y)、文字列で指定します。\n"
          "複数行設定できます。\n"
          "例) 150,10,10,Pellandor　電話：000-000-0001"),
      5, 162, 249, 25);
  text_lines_ = new QPlainTextEdit(this);
  text_lines_->setObjectName(QStringLiteral("1021"));
  text_lines_->setGeometry(build.Rect(5, 190, 250, 37));
  text_lines_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_lines_->setTabChangesFocus(true);
  build.Static(QStringLiteral("位置(x,y)は -120,20 "
                              "のようにマイナスで指定すると右端、下端からの距離になります。"),
               5, 232, 255, 8);
  quality_ = build.Edit(1003, 5, 245, 15, 12);
  build.Static(QStringLiteral("転送画像のJPG画質(1-100)"), 25, 247, 83, 8);
  auto* cancel = build.Button(2, QStringLiteral("ｷｬﾝｾﾙ"), 205, 245, 50, 14);
  auto* preview_640 = build.Button(1044, QStringLiteral("上記設定を640x480で確認"), 5, 261, 90, 14);
  auto* preview_720 =
      build.Button(1046, QStringLiteral("上記設定を720x480で確認"), 100, 261, 90, 14);
  auto* ok = build.Button(1, QStringLiteral("OK"), 205, 261, 50, 14);
  ok->setDefault(true);

  ChainTabOrder({ok, text_lines_, cancel, name_format_, range_, font_, quality_, text_color_,
                 back_color_, preview_640, preview_720});
  connect(ok, &QPushButton::clicked, this, &NamingDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &NamingDialog::reject);
  connect(preview_640, &QPushButton::clicked, this, [this] { OnPreview(640); });
  connect(preview_720, &QPushButton::clicked, this, [this] { OnPreview(720); });

  ShowFields();
  // The collected names once more through the rule, from a fresh start name.
  std::string last_name = kFirstLastFontName;
  QStringList fonts;
  for (const std::string& name :
       SkipRepeatedFontNames(context_.font_names, last_name, kMaxFontNames)) {
    fonts << FromCp932(Cp932Text(name));
  }
  AddSortedEntries(*font_, fonts);
  ShowEntriesWhole(*font_);
  ok->setFocus();
}

void NamingDialog::ShowFields() {
  range_->setText(FromCp932(fields_.range));
  text_lines_->setPlainText(WithoutCr(FromCp932(fields_.text_lines)));
  SetComboText(*font_, FromCp932(fields_.font));
  quality_->setText(QString::number(fields_.quality));
  back_color_->setText(FromCp932(fields_.back_color));
  text_color_->setText(FromCp932(fields_.text_color));
  name_format_->setText(FromCp932(fields_.name_format));
}

bool NamingDialog::TakeFields() {
  if (!TakeTypedField(*range_, range_->text(), kSlotMaxBytes, fields_.range)) return false;

  // The bound is that of the setting the lines are joined into.
  const QString lines = WithCrLf(text_lines_->toPlainText());
  if (!TypedFieldValue(*text_lines_, WithoutCr(lines).replace(QLatin1Char('\n'), QLatin1Char(',')),
                       kSlotMaxBytes)) {
    return false;
  }
  fields_.text_lines = TypedTextToCp932(lines.toStdString(), std::string::npos, nullptr).value();

  if (!TakeTypedField(*font_, font_->currentText(), kSlotMaxBytes, fields_.font)) return false;

  // The check --set makes too; a number refused for its range is still what a preview shows.
  const Cp932Text quality = Utf8ToCp932Replacing(quality_->text().toStdString());
  if (const auto number = WholeNumberOf(quality.view())) fields_.quality = *number;
  if (!AcceptsSettingValue(*quality_, SettingSlot::JpegQuality, quality)) return false;

  return TakeTypedField(*back_color_, back_color_->text(), kSlotMaxBytes, fields_.back_color) &&
         TakeTypedField(*text_color_, text_color_->text(), kSlotMaxBytes, fields_.text_color) &&
         TakeTypedField(*name_format_, name_format_->text(), kNameFormatMaxBytes,
                        fields_.name_format);
}

void NamingDialog::accept() {
  if (!TakeFields() ||
      !AcceptsSettingValue(*back_color_, SettingSlot::TextBackColor, fields_.back_color) ||
      !AcceptsSettingValue(*text_color_, SettingSlot::TextColor, fields_.text_color) ||
      !AcceptsSettingValue(*name_format_, SettingSlot::NameFormat, fields_.name_format)) {
    return;
  }
  bool& note_given =
      context_.replacing_note_given ? *context_.replacing_note_given : replacing_note_given_;
  if (fields_.name_format.view().find("$r") == std::string_view::npos && !note_given) {
    note_given = true;
    // Said once, without holding the dialog: the behaviour itself stays.
    auto* note = new QMessageBox(
        QMessageBox::Information, windowTitle(),
        QStringLiteral("ファイル名フォーマットに $r がないため、同じ名前の画像は前の画像に"
                       "上書きされます。"),
        QMessageBox::Ok, parentWidget());
    note->setAttribute(Qt::WA_DeleteOnClose);
    note->open();
  }
  QDialog::accept();
}

PreviewContent NamingDialog::PreviewFor(int width) {
  TakeFields();  // whatever it takes is shown; a refused field keeps its last value
  PreviewContent content;
  content.file_name_line = FileNameLine(Utf8ToCp932Replacing("…"));
  content.text_font = fields_.font;
  content.back_color = fields_.back_color;
  content.text_color = fields_.text_color;
  content.source_range = fields_.range;
  content.text_lines = Cp932Text(JoinTextLines(fields_.text_lines.bytes()));
  content.width = width;
  return content;
}

std::function<Cp932Text()> NamingDialog::FileNameSearch() const {
  return [name_format = fields_.name_format, capture_id = context_.preview.capture_id(),
          folder = context_.transfer_folder, now = context_.preview.now()] {
    std::string error;
    const auto path = BuildTransferPath(name_format, capture_id, folder, now, &error);
    if (!path) return FileNameLine(Utf8ToCp932Replacing(error));
    // The name as it lies in the transfer folder: the path behind the folder's own length.
    const std::string utf8_folder = Cp932ToUtf8(folder).value_or(std::string());
    const std::string full = path->string();
    return FileNameLine(
        Utf8ToCp932Replacing(full.substr(std::min(utf8_folder.size(), full.size()))));
  };
}

std::unique_ptr<PreviewDialog> NamingDialog::OpenPreview(int width) {
  auto preview = std::make_unique<PreviewDialog>(PreviewFor(width), context_.preview, this);
  FillFileNameLineWhenFound(preview->area(), FileNameSearch());
  return preview;
}

void NamingDialog::OnPreview(int width) { OpenPreview(width)->exec(); }

}  // namespace velmarin::app
