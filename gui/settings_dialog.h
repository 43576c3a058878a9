// Programmer settings, the window's own choices, and for SPI parts the
// status register with its block-protect bits in words.
#pragma once

#include <QDialog>

#include "app_settings.h"
#include "operation_types.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace zylgui {

class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  SettingsDialog(const ProgrammerSettings& settings, const WindowPreferences& preferences,
                 const QString& device, bool spi, int deviceSize, QWidget* parent = nullptr);

  ProgrammerSettings settings() const;
  WindowPreferences preferences() const;
  // A status byte read from the chip.
  void showStatus(int value);
  // While the worker runs something, the status buttons wait.
  void setBusy(bool busy);

 signals:
  void readStatusRequested();
  void writeStatusRequested(int value);

 private:
  int composedStatus() const;
  void explain();

  QSpinBox* clockSpeed_;
  QSpinBox* eeDelay_;
  QSpinBox* pageSize_;
  QSpinBox* busAddress_;
  QComboBox* progMode_;
  QComboBox* resetPolarity_;
  QSpinBox* serialWindow_;
  QCheckBox* confirmChipWrites_;
  QCheckBox* ignoreChecksums_;
  QGroupBox* statusBox_;
  QLabel* statusValue_;
  QCheckBox* wpen_;
  QCheckBox* bp1_;
  QCheckBox* bp0_;
  QLabel* protection_;
  QLabel* flags_;
  QPushButton* readStatus_;
  QPushButton* writeStatus_;
  int deviceSize_;
  int lastStatus_ = -1;
};

}  // namespace zylgui
