#include "window_fixture.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>

#include "platform/encoding.h"

namespace velmarin::test {

std::string Utf8(const std::string& cp932) { return Cp932ToUtf8(Cp932Text(cp932)).value_or("?"); }
std::string Cp932(const std::string& utf8) { return Utf8ToCp932Replacing(utf8).bytes(); }

WindowTest::~WindowTest() {
  window_.reset();
  session_.reset();
  TakeMessageBoxes();
}

app::MainWindow& WindowTest::Window() {
  if (!window_) {
    session_ = std::make_unique<ProgramSession>(
        program_dir_, SessionBackends{hid_, serial_, input_, pipeline_, messages_, folder_events_},
        ProgramSession::TransferredCallback{},
        [this](const std::filesystem::path&, bool) { ++watch_folder_looks_; });
    window_ = std::make_unique<app::MainWindow>(*session_, messages_, chime_,
                                                app::PlacementStore(placement_file_), dialogs_);
    window_->ShowFirstTime();
  }
  return *window_;
}

void WindowTest::CloseWindow(bool keep) {
  window_->close();
  EXPECT_TRUE(QTest::qWaitFor([this] { return window_->shut_down(); }, 20000));
  if (keep) return;
  window_.reset();
  session_.reset();
}

bool WindowTest::MonitoringResumes() {
  return QTest::qWaitFor([this] { return session_->state().monitoring_active.load(); }, 5000);
}

bool WindowTest::WatchFolderLookedAt() {
  return QTest::qWaitFor([this] { return watch_folder_looks_ > 0; }, 5000);
}

std::vector<QString> WindowTest::TakeMessageBoxes() {
  QCoreApplication::processEvents();
  std::vector<QString> texts;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
      texts.push_back(box->text());
      box->close();
    }
  }
  QCoreApplication::processEvents();
  return texts;
}

}  // namespace velmarin::test
