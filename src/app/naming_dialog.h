#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/preview_dialog.h"
#include "control/settings_dialog_fields.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

namespace velmarin::app {

// "転送ファイル名文字列設定、画像への書き込み文字列設定": the name template, the range, the stamps,
// their font and colours and the JPEG quality, with the two previews.
// Controls carry their numbers as object names ("1021" is the stamp edit).
class NamingDialog : public QDialog {
 public:
  struct Context {
    std::vector<std::string> font_names;  // the collected list, code page 932
    Cp932Text transfer_folder;            // where the preview's next name is looked for
    PreviewSources preview;               // the ID and the clock of the previews
    // Whether the note on a name format without "$r" was given; it is given once while the
    // flag lives (the window's run), else once per dialog.
    bool* replacing_note_given = nullptr;
  };

  NamingDialog(NamingFields fields, Context context, QWidget* parent = nullptr);

  const NamingFields& fields() const { return fields_; }

  void accept() override;

  // What a preview button shows at once (the fields as the exchange left them); the file-name
  // line is a placeholder until the search of FileNameSearch returns. Public for tests.
  PreviewContent PreviewFor(int width);
  // The file-name line for the fields PreviewFor took: the dry-run serial search (file-system
  // and perhaps network I/O, nothing created), on copies, to be run off this thread.
  std::function<Cp932Text()> FileNameSearch() const;
  // A preview button's dialog, shown at once with the picture; its file-name line is filled in
  // when the search, run on a thread of its own, returns.
  std::unique_ptr<PreviewDialog> OpenPreview(int width);

 private:
  void ShowFields();
  bool TakeFields();
  void OnPreview(int width);

  NamingFields fields_;
  Context context_;
  bool replacing_note_given_ = false;
  QLineEdit* name_format_;
  QLineEdit* range_;
  QLineEdit* text_color_;
  QLineEdit* back_color_;
  QComboBox* font_;
  QPlainTextEdit* text_lines_;
  QLineEdit* quality_;
};

}  // namespace velmarin::app
