#pragma once

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

#include "control/settings_dialog_fields.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace velmarin::app {

// "スイッチ・イベント設定": the switch device, its timing and the key stroke or click it raises.
// Controls carry their numbers as object names ("1006" is the device combo).
class SwitchEventDialog : public QDialog {
 public:
  struct Services {
    // The devices the list offers (ListSwitchDevices), asked once the fields are shown.
    std::function<std::vector<std::string>()> list_devices;
    // Moves the mouse pointer to a screen position ("位置確認").
    std::function<void(int x, int y)> move_pointer;
  };

  SwitchEventDialog(SwitchEventFields fields, Services services, QWidget* parent = nullptr);

  // The fields as the last complete transfer from the controls left them.
  const SwitchEventFields& fields() const { return fields_; }

  void accept() override;

 private:
  void ShowFields();
  // The controls into the fields, in the order of the exchange; false after the message of
  // the first control that cannot be taken (the fields behind it keep their values).
  bool TakeFields();
  void OnPositionCheck();

  SwitchEventFields fields_;
  Services services_;
  QComboBox* device_;
  QComboBox* trigger_edge_;
  QLineEdit* poll_ms_;
  QLineEdit* delay_ms_;
  QLineEdit* rest_ms_;
  QLineEdit* key_code_;
  QCheckBox* ctrl_;
  QCheckBox* alt_;
  QCheckBox* shift_;
  QLineEdit* mouse_x_;
  QLineEdit* mouse_y_;
};

}  // namespace velmarin::app
