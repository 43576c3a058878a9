#include "settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "status_register.h"

namespace zylgui {

namespace {

// -1 stands for the library's own choice, named by defaultText.
QSpinBox* settingBox(int value, int high, const QString& defaultText, const QString& suffix,
                     QWidget* parent) {
  auto* box = new QSpinBox(parent);
  box->setRange(-1, high);
  box->setSpecialValueText(defaultText);
  box->setSuffix(suffix);
  box->setValue(value);
  return box;
}

}  // namespace

SettingsDialog::SettingsDialog(const ProgrammerSettings& s, const WindowPreferences& p,
                               const QString& device, bool spi, int deviceSize, QWidget* parent)
    : QDialog(parent), deviceSize_(deviceSize) {
  setWindowTitle(tr("Programmer settings"));
  clockSpeed_ = settingBox(s.clockSpeed, 255, tr("Stored value"), {}, this);
  eeDelay_ = settingBox(s.eeDelay, 255, tr("Device default"), tr(" ms"), this);
  pageSize_ = settingBox(s.pageSize, 255, tr("Device default"), tr(" bytes"), this);
  busAddress_ = settingBox(s.busAddress, 255, tr("Default (0xA0)"), {}, this);
  busAddress_->setDisplayIntegerBase(16);
  busAddress_->setPrefix(QStringLiteral("0x"));
  progMode_ = new QComboBox(this);
  progMode_->addItem(tr("8 bits"), 8);
  progMode_->addItem(tr("16 bits"), 16);
  progMode_->setCurrentIndex(s.progMode == 16 ? 1 : 0);
  resetPolarity_ = new QComboBox(this);
  resetPolarity_->addItem(QStringLiteral("0"), 0);
  resetPolarity_->addItem(QStringLiteral("1"), 1);
  resetPolarity_->setCurrentIndex(s.resetPolarity == 1 ? 1 : 0);
  // Without a choice here the library takes ZYLISP_SERIAL_WINDOW, else 16.
  const QString windowFromEnvironment = qEnvironmentVariable("ZYLISP_SERIAL_WINDOW");
  serialWindow_ = settingBox(s.serialWindow, 4096,
                             windowFromEnvironment.isEmpty()
                                 ? tr("Default (16 bytes)")
                                 : tr("Default (ZYLISP_SERIAL_WINDOW=%1)").arg(windowFromEnvironment),
                             tr(" bytes"), this);
  serialWindow_->setObjectName(QStringLiteral("serialWindow"));
  serialWindow_->setToolTip(
      tr("Bytes of commands sent to a serial adapter ahead of their acknowledges; 0 sends each "
         "command only once the one before it was answered. A deeper window saves the port's "
         "round trip per command, but up to that many bytes wait in the adapter while it works: "
         "its receive buffer must hold them, or commands are lost. The parallel port ignores "
         "this setting."));

  auto* programmer = new QGroupBox(tr("Programmer"), this);
  auto* form = new QFormLayout(programmer);
  form->addRow(tr("Clock speed:"), clockSpeed_);
  form->addRow(tr("EE write delay:"), eeDelay_);
  form->addRow(tr("Page size:"), pageSize_);
  form->addRow(tr("I2C bus address:"), busAddress_);
  form->addRow(tr("Programming mode (Microwire organisation):"), progMode_);
  form->addRow(tr("Reset polarity:"), resetPolarity_);
  form->addRow(tr("Serial send-ahead:"), serialWindow_);

  auto* window = new QGroupBox(tr("Window"), this);
  confirmChipWrites_ =
      new QCheckBox(tr("Ask before Erase, Program and Erase+Program+Verify"), window);
  confirmChipWrites_->setObjectName(QStringLiteral("confirmChipWrites"));
  confirmChipWrites_->setChecked(p.confirmChipWrites);
  ignoreChecksums_ =
      new QCheckBox(tr("Ignore record checksums of data files (for hand-edited files)"), window);
  ignoreChecksums_->setObjectName(QStringLiteral("ignoreChecksums"));
  ignoreChecksums_->setChecked(p.ignoreChecksums);
  auto* windowLayout = new QVBoxLayout(window);
  windowLayout->addWidget(confirmChipWrites_);
  windowLayout->addWidget(ignoreChecksums_);

  statusBox_ = new QGroupBox(tr("Status register of %1").arg(device), this);
  statusValue_ = new QLabel(tr("Not read yet"), statusBox_);
  wpen_ = new QCheckBox(tr("WPEN (bit 7): the WP pin guards the register"), statusBox_);
  bp1_ = new QCheckBox(tr("BP1 (bit 3)"), statusBox_);
  bp0_ = new QCheckBox(tr("BP0 (bit 2)"), statusBox_);
  protection_ = new QLabel(statusBox_);
  flags_ = new QLabel(statusBox_);
  auto* legend = new QLabel(
      tr("BP1 BP0: 00 nothing protected, 01 upper quarter, 10 upper half, 11 all protected. "
         "WEL (bit 1) and busy (bit 0) are only read."),
      statusBox_);
  for (QLabel* label : {protection_, flags_, legend}) label->setWordWrap(true);
  statusValue_->setObjectName(QStringLiteral("statusValue"));
  wpen_->setObjectName(QStringLiteral("wpenBit"));
  bp1_->setObjectName(QStringLiteral("bp1Bit"));
  bp0_->setObjectName(QStringLiteral("bp0Bit"));
  protection_->setObjectName(QStringLiteral("protection"));
  readStatus_ = new QPushButton(tr("Read"), statusBox_);
  writeStatus_ = new QPushButton(tr("Write"), statusBox_);
  readStatus_->setObjectName(QStringLiteral("readStatus"));
  writeStatus_->setObjectName(QStringLiteral("writeStatus"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(readStatus_);
  buttons->addWidget(writeStatus_);
  buttons->addStretch();
  auto* status = new QVBoxLayout(statusBox_);
  for (QWidget* w : std::initializer_list<QWidget*>{statusValue_, wpen_, bp1_, bp0_, protection_,
                                                    flags_, legend})
    status->addWidget(w);
  status->addLayout(buttons);
  statusBox_->setEnabled(spi);
  if (!spi) statusBox_->setTitle(tr("Status register (SPI parts only)"));

  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(programmer);
  layout->addWidget(window);
  layout->addWidget(statusBox_);
  layout->addWidget(box);

  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(readStatus_, &QPushButton::clicked, this, &SettingsDialog::readStatusRequested);
  connect(writeStatus_, &QPushButton::clicked, this,
          [this] { emit writeStatusRequested(composedStatus()); });
  for (QCheckBox* bit : {wpen_, bp1_, bp0_})
    connect(bit, &QCheckBox::toggled, this, &SettingsDialog::explain);
  explain();
}

ProgrammerSettings SettingsDialog::settings() const {
  ProgrammerSettings s;
  s.clockSpeed = clockSpeed_->value();
  s.eeDelay = eeDelay_->value();
  s.pageSize = pageSize_->value();
  s.busAddress = busAddress_->value();
  s.progMode = progMode_->currentData().toInt();
  s.resetPolarity = resetPolarity_->currentData().toInt();
  s.serialWindow = serialWindow_->value();
  return s;
}

WindowPreferences SettingsDialog::preferences() const {
  WindowPreferences p;
  p.confirmChipWrites = confirmChipWrites_->isChecked();
  p.ignoreChecksums = ignoreChecksums_->isChecked();
  return p;
}

void SettingsDialog::showStatus(int value) {
  lastStatus_ = value;
  statusValue_->setText(
      tr("Status: 0x%1")
          .arg(QString::number(value, 16).rightJustified(2, QLatin1Char('0')).toUpper()));
  wpen_->setChecked(value & kStatusWpen);
  bp1_->setChecked(value & kStatusBp1);
  bp0_->setChecked(value & kStatusBp0);
  explain();
}

void SettingsDialog::setBusy(bool busy) {
  readStatus_->setDisabled(busy);
  writeStatus_->setDisabled(busy);
}

int SettingsDialog::composedStatus() const {
  return (wpen_->isChecked() ? kStatusWpen : 0) | (bp1_->isChecked() ? kStatusBp1 : 0) |
         (bp0_->isChecked() ? kStatusBp0 : 0);
}

void SettingsDialog::explain() {
  protection_->setText(protectionText(composedStatus(), deviceSize_));
  flags_->setText(lastStatus_ < 0 ? QString() : statusFlagsText(lastStatus_));
}

}  // namespace zylgui
