#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;

namespace velmarin::app {

// The program's only help: the 38 fixed lines, in order.
QStringList HelpLines();

// "VelmarinCap　Ver4.0": the help lines in a list, in a face whose full-width characters take
// two half-width cells, so the key table's columns line up.
class AboutBox : public QDialog {
 public:
  explicit AboutBox(QWidget* parent = nullptr);
  QListWidget* list() const { return list_; }

 private:
  QListWidget* list_;
};

}  // namespace velmarin::app
