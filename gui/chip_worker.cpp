#include "chip_worker.h"

#include <QDateTime>

#include "file_formats.h"
#include "port_names.h"
#include "zylisp.h"

namespace zylgui {

namespace {

constexpr uint8_t kArea = ZYL_AREA_EEPROM;
// The progress callback comes per page; the window needs far fewer updates.
constexpr qint64 kProgressIntervalMs = 40;

// The library's callback is a plain function: it reaches the worker through
// this pointer, on the worker's own thread.
ChipWorker* g_progressTarget = nullptr;

void ZYL_CALL relayProgress(int32_t done, int32_t total) {
  if (g_progressTarget) g_progressTarget->reportProgress(done, total);
}

// Results after which the link cannot be trusted: the next operation
// connects anew.
bool linkLost(int code) {
  return code == ZYL_ERR_HARDWARE || code == ZYL_ERR_PORT || code == ZYL_ERR_NOT_RESPONDING ||
         code == ZYL_ERR_FIRMWARE || code == ZYL_ERR_PORT_IN_USE;
}

QString hexText(int value, int width) {
  return QString::number(value, 16).rightJustified(width, QLatin1Char('0')).toUpper();
}

}  // namespace

ChipWorker::ChipWorker(QObject* parent) : QObject(parent) {
  registerOperationTypes();
  g_progressTarget = this;
}

ChipWorker::~ChipWorker() {
  if (g_progressTarget == this) g_progressTarget = nullptr;
}

void ChipWorker::requestStop() {
  stopRequested_ = true;
  Zyl_RequestStop();
}

void ChipWorker::finish() {
  finishing_ = true;
  requestStop();
}

void ChipWorker::reportProgress(int done, int total) {
  // The library forgets a request that came just before its operation
  // began: renew it.
  if (stopRequested_ || finishing_) Zyl_RequestStop();
  const bool edge = total > 0 && (done == 0 || done == total);
  if (!edge && sinceProgress_.isValid() && sinceProgress_.elapsed() < kProgressIntervalMs) return;
  sinceProgress_.start();
  emit progress(done, total);
}

void ChipWorker::start(const ProgrammerSettings& settings, bool ignoreChecksums) {
  settings_ = settings;
  Zyl_SetProgressHandler(&relayProgress);
  // The library keeps the rule for its whole life: set it either way.
  setIgnoreChecksums(ignoreChecksums);
  QList<QStringList> devices;
  QHash<QString, int> sizes;
  for (int32_t bus : {ZYL_BUS_I2C, ZYL_BUS_SPI, ZYL_BUS_MICROWIRE}) {
    QStringList names;
    const int32_t count = Zyl_GetDeviceCount(bus);
    for (int32_t i = 0; i < count; ++i) {
      char name[ZYL_DEVICE_NAME_SIZE] = {};
      if (Zyl_GetDevice(bus, static_cast<uint32_t>(i), name) != 0) continue;
      names << QString::fromLatin1(name);
      int32_t size = 0;
      if (Zyl_GetDeviceInfo(name, nullptr, &size, nullptr) == 0) sizes.insert(names.last(), size);
    }
    devices << names;
  }
  // Zyl_GetDevice has just recorded success: its text tells a real result
  // text from a stale one later.
  okText_ = QString::fromUtf8(Zyl_GetLastError());
  emit catalogueListed(devices, sizes);
  emit libraryVersion(QString::fromLatin1(Zyl_GetDLLversion()));
  listPorts();
}

void ChipWorker::setIgnoreChecksums(bool ignore) { Zyl_SetIgnoreChecksums(ignore ? 1 : 0); }

void ChipWorker::listPorts() {
  run(Operation::ListPorts, [this]() -> Outcome {
    // Listing clears the library's selection: it is made again afterwards.
    closeConnection();
    QStringList ports;
    QStringList devices;
    portDevices_.clear();
    for (uint8_t mode : {uint8_t{ZYL_MODE_PARALLEL}, uint8_t{ZYL_MODE_SERIAL}}) {
      const int count = Zyl_GetNumPorts(mode);
      for (int i = 0; i < count; ++i) {
        char name[ZYL_PORT_NAME_SIZE] = {};
        if (Zyl_GetPort(i, name, mode) != 0 || !name[0]) continue;
        char device[ZYL_PORT_NAME_SIZE] = {};
        if (mode == ZYL_MODE_SERIAL && Zyl_GetPortDevice(name, device, sizeof device) == 0)
          portDevices_.insert(QString::fromLocal8Bit(name), QString::fromLocal8Bit(device));
        ports << QString::fromLocal8Bit(name);
        devices << portDevices_.value(ports.last());
      }
    }
    if (!selection_.device.isEmpty()) selectOffline();
    emit portsListed(ports, devices);
    return {0, okText_, ports.isEmpty() ? tr("no port found") : ports.join(QStringLiteral(", "))};
  });
}

void ChipWorker::select(const ChipSelection& selection) {
  run(Operation::Connect, [this, selection]() -> Outcome {
    closeConnection();
    selection_ = selection;
    const QByteArray before = image_;
    const int selected = selectOffline();
    if (selected != 0) return outcome(selected);
    Outcome o = selection_.port.isEmpty()
                    ? Outcome{ZYL_ERR_PORT, tr("No port chosen: refresh the port list"), {}}
                    : connectAdapter();
    // A smaller device has no room for the end of the image: say so.
    const QByteArray dropped = before.mid(image_.size());
    if (dropped.count('\xFF') != dropped.size())
      o.summary = tr("the image was cut to the device's %1 bytes").arg(image_.size());
    return o;
  });
}

void ChipWorker::applySettings(const ProgrammerSettings& settings) {
  run(Operation::Settings, [this, settings]() -> Outcome {
    // Each operation opens the link anew, with the settings of the moment.
    settings_ = settings;
    return {0, okText_, tr("used from the next operation on")};
  });
}

void ChipWorker::openFile(const QString& path) {
  run(Operation::Open, path, [this, path]() -> Outcome {
    const QByteArray name = path.toLocal8Bit();
    if (Zyl_CheckFile(name.constData(), 0) != 0) return outcome(ZYL_ERR_FILE);
    if (selection_.device.isEmpty()) return {ZYL_ERR_NOT_READY, tr("Choose a device first"), {}};
    const int format = Zyl_IdentifyFile(name.constData());
    Zyl_ClearBuffer(kArea);
    const int code = Zyl_LoadBuffer(kArea, name.constData());
    Outcome o = outcome(code);
    const QByteArray loaded = fetchImage();
    // A file that does not load whole, also one larger than the device, is
    // refused: the image stays the one the user had.
    if (code == 0) {
      image_ = loaded;
      emit imageChanged(image_);
      o.summary = formatName(format);
    } else {
      restoreImage(loaded);
    }
    return o;
  });
}

void ChipWorker::saveFile(const QString& path, int format) {
  run(Operation::Save, path, [this, path, format]() -> Outcome {
    const QByteArray name = path.toLocal8Bit();
    if (Zyl_CheckFile(name.constData(), 1) != 0) return outcome(ZYL_ERR_FILE);
    Outcome o = outcome(Zyl_SaveBuffer(kArea, name.constData(), static_cast<uint8_t>(format)));
    o.summary = formatName(format);
    return o;
  });
}

void ChipWorker::writeByte(int address, int value) {
  const int code = Zyl_WriteBuffer(kArea, address, static_cast<uint8_t>(value));
  if (code != 0) emit editFailed(address, outcome(code).text);
  uint8_t held = 0;
  Zyl_ReadBuffer(kArea, address, &held);
  if (address >= 0 && address < image_.size()) image_[address] = static_cast<char>(held);
  emit byteWritten(address, held);
}

void ChipWorker::readChip() {
  run(Operation::Read, [this]() -> Outcome {
    const Outcome o = chipCall(tr("Reading"), [] { return Zyl_ReadEEPROM(nullptr, 0); });
    const QByteArray chip = fetchImage();
    if (o.code == 0) {
      image_ = chip;
      emit imageChanged(image_);
    } else {
      // A failed or cancelled read leaves the image as it was.
      restoreImage(chip);
    }
    return o;
  });
}

void ChipWorker::erase() {
  run(Operation::Erase,
      [this] { return chipCall(tr("Erasing"), [] { return Zyl_EraseAllDevice(); }); });
}

void ChipWorker::blankCheck() {
  run(Operation::BlankCheck, [this]() -> Outcome {
    QByteArray chip;
    Outcome o = readChipAside(tr("Reading"), chip);
    if (o.code != 0) return o;
    const int first = [&] {
      for (int a = 0; a < chip.size(); ++a)
        if (static_cast<quint8>(chip[a]) != 0xFF) return a;
      return -1;
    }();
    o.summary = first < 0
                    ? tr("blank")
                    : tr("not blank: the first byte other than FF is at 0x%1 (%2)")
                          .arg(hexText(first, 4), hexText(static_cast<quint8>(chip[first]), 2));
    return o;
  });
}

void ChipWorker::program() {
  run(Operation::Program, [this] { return programStep(); });
}

void ChipWorker::verify() {
  run(Operation::Verify, [this] { return verifyStep(); });
}

void ChipWorker::eraseProgramVerify() {
  run(Operation::EraseProgramVerify, [this]() -> Outcome {
    Outcome o = chipCall(tr("Erasing"), [] { return Zyl_EraseAllDevice(); });
    if (o.code == 0) o = programStep();
    if (o.code == 0) o = verifyStep();
    return o;
  });
}

void ChipWorker::readStatus() {
  run(Operation::ReadStatus, [this]() -> Outcome {
    Outcome o = connectAdapter();
    if (o.code != 0) return o;
    emit stepStarted(tr("Reading status"));
    // The result code apart from the byte: a failure is never shown as a
    // status.
    uint8_t status = 0;
    o = outcome(Zyl_GetStatusByte(&status));
    if (o.code != 0) {
      if (linkLost(o.code)) closeConnection();
      return o;
    }
    emit statusRead(status);
    return {0, okText_, QStringLiteral("0x") + hexText(status, 2)};
  });
}

void ChipWorker::writeStatus(int value) {
  run(Operation::WriteStatus, [this, value]() -> Outcome {
    Outcome o = chipCall(tr("Writing status"),
                         [value] { return Zyl_WriteStatus(static_cast<uint8_t>(value)); });
    o.summary = QStringLiteral("0x") + hexText(value, 2);
    return o;
  });
}

void ChipWorker::shutdown() { closeConnection(); }

void ChipWorker::run(Operation operation, const QString& file,
                     const std::function<Outcome()>& body) {
  // A stop asked for before this operation began is not meant for it.
  stopRequested_ = false;
  sinceProgress_.invalidate();
  OperationResult result;
  result.operation = operation;
  result.file = file;
  result.started = QDateTime::currentDateTime();
  QElapsedTimer timer;
  timer.start();
  emit operationStarted(operation);
  // Once the window is going away, queued work does not start.
  const Outcome o = finishing_ ? cancelledBeforeCall() : body();
  // The port is free for other programs while the window is idle.
  closeConnection();
  result.code = o.code;
  result.text = o.text;
  result.summary = o.summary;
  result.milliseconds = timer.elapsed();
  emit operationFinished(result);
}

ChipWorker::Outcome ChipWorker::outcome(int code) const {
  if (code == 0) return {0, okText_, {}};
  QString text = QString::fromUtf8(Zyl_GetLastError());
  // Some refusals return their code without recording it.
  if (text.isEmpty() || text == okText_) text = tr("result code %1").arg(code);
  const QString detail = QString::fromUtf8(Zyl_GetErrorDetail());
  if (!detail.isEmpty()) text += QStringLiteral(": ") + detail;
  return {code, text, {}};
}

ChipWorker::Outcome ChipWorker::connectAdapter() {
  if (connected_) return {0, okText_, {}};
  if (selection_.port.isEmpty() || selection_.device.isEmpty())
    return {ZYL_ERR_NOT_READY, tr("Choose a port and a device first"), {}};
  const QByteArray port = selection_.port.toLocal8Bit();
  const QByteArray device = selection_.device.toLatin1();
  const int mode = portMode(selection_.port);
  emit stepStarted(tr("Connecting"));
  if (Zyl_InitProgrammer(port.constData(), device.constData(), static_cast<uint8_t>(mode)) != 0) {
    // The detail lists the ports there are.
    QString text = tr("Port %1 was not found").arg(selection_.port);
    const QString detail = QString::fromUtf8(Zyl_GetErrorDetail());
    if (!detail.isEmpty()) text += QStringLiteral(": ") + detail;
    selectOffline();
    return {ZYL_ERR_PORT, text, {}};
  }
  Zyl_WriteProgMode(static_cast<uint8_t>(settings_.progMode));
  Zyl_SetResetPolarity(static_cast<uint8_t>(settings_.resetPolarity));
  if (settings_.eeDelay >= 0) Zyl_PROG_EE_Time(static_cast<uint8_t>(settings_.eeDelay));
  // Without a held connection the speed is only stored, for the open below.
  if (settings_.clockSpeed >= 0) Zyl_PROG_Speed(static_cast<uint8_t>(settings_.clockSpeed));
  restoreImage(QByteArray(image_.size(), '\xFF'));
  const int opened = Zyl_PROG_Open();
  if (opened != 0) {
    const Outcome o = outcome(opened);
    Zyl_PROG_Close();
    return o;
  }
  // The open sets the device's page size and bus address: ours come after.
  if (settings_.pageSize >= 0) Zyl_SetPageSize(static_cast<uint8_t>(settings_.pageSize));
  if (settings_.busAddress >= 0) Zyl_SetBusAddress(static_cast<uint8_t>(settings_.busAddress));
  connected_ = true;
  const QString firmware = QString::fromLatin1(Zyl_GetFWVersion());
  QString where = selection_.port;
  if (mode == ZYL_MODE_SERIAL) {
    const QString path = portDevices_.value(selection_.port);
    if (!path.isEmpty()) where += QStringLiteral(" (%1)").arg(path);
  }
  emit connectionChanged(
      true, tr("%1 on %2, adapter firmware %3").arg(selection_.device, where, firmware));
  return {0, okText_, {}};
}

void ChipWorker::closeConnection() {
  if (!connected_) return;
  Zyl_PROG_Close();
  connected_ = false;
  emit connectionChanged(false, {});
}

int ChipWorker::selectOffline() {
  const QByteArray device = selection_.device.toLatin1();
  const int mode = portMode(selection_.port);
  const int number = portNumber(selection_.port);
  const int selected = Zyl_SetDevice(device.constData());
  if (selected != 0) return selected;
  Zyl_SetMode(static_cast<uint8_t>(mode ? mode : ZYL_MODE_PARALLEL));
  Zyl_SetPort(static_cast<uint8_t>(number ? number : 1));
  const int size = Zyl_GetBufferSize(kArea);
  if (size != image_.size()) {
    // A new device keeps what fits of the image.
    image_ = image_.left(size);
    image_.append(QByteArray(size - image_.size(), '\xFF'));
    restoreImage(QByteArray(size, '\xFF'));
    emit imageChanged(image_);
  } else {
    restoreImage(QByteArray(size, '\xFF'));
  }
  return 0;
}

ChipWorker::Outcome ChipWorker::chipCall(const QString& step,
                                         const std::function<int32_t()>& call) {
  Outcome connected = connectAdapter();
  if (connected.code != 0) return connected;
  // The library forgets a stop asked for before its operation begins.
  if (stopRequested_ || finishing_) return cancelledBeforeCall();
  emit stepStarted(step);
  const Outcome o = outcome(call());
  if (linkLost(o.code)) closeConnection();
  return o;
}

ChipWorker::Outcome ChipWorker::programStep() {
  return chipCall(tr("Programming"), [] { return Zyl_ProgramEEPROM(nullptr); });
}

ChipWorker::Outcome ChipWorker::verifyStep() {
  Outcome o = chipCall(tr("Verifying"), [] { return Zyl_VerifyEEPROM(nullptr); });
  if (o.code == 0) emit differencesFound({});
  if (o.code != ZYL_ERR_VERIFY) return o;
  // The library says only that they differ: a read of the chip says where.
  QByteArray chip;
  const Outcome read = readChipAside(tr("Reading differences"), chip);
  if (read.code != 0) return read;
  QVector<ByteDifference> differences;
  for (int a = 0; a < chip.size() && a < image_.size(); ++a)
    if (chip[a] != image_[a])
      differences.append({a, static_cast<quint8>(chip[a]), static_cast<quint8>(image_[a])});
  emit differencesFound(differences);
  const int count = int(differences.size());
  const QString first = hexText(count ? differences.front().address : 0, 4);
  o.summary = count == 0   ? tr("a read of the chip found no difference")
              : count == 1 ? tr("1 byte differs, at 0x%1").arg(first)
                           : tr("%1 bytes differ, the first at 0x%2").arg(count).arg(first);
  return o;
}

ChipWorker::Outcome ChipWorker::readChipAside(const QString& step, QByteArray& chip) {
  const Outcome o = chipCall(step, [] { return Zyl_ReadEEPROM(nullptr, 0); });
  // The read replaced the library's image, also when it failed half way.
  chip = fetchImage();
  restoreImage(chip);
  return o;
}

QByteArray ChipWorker::fetchImage() const {
  const int size = Zyl_GetBufferSize(kArea);
  QByteArray bytes(size, '\xFF');
  for (int a = 0; a < size; ++a) {
    uint8_t value = 0xFF;
    Zyl_ReadBuffer(kArea, a, &value);
    bytes[a] = static_cast<char>(value);
  }
  return bytes;
}

void ChipWorker::restoreImage(const QByteArray& libraryHolds) {
  const bool known = libraryHolds.size() == image_.size();
  for (int a = 0; a < image_.size(); ++a)
    if (!known || libraryHolds[a] != image_[a])
      Zyl_WriteBuffer(kArea, a, static_cast<uint8_t>(image_[a]));
}

ChipWorker::Outcome ChipWorker::cancelledBeforeCall() const {
  return {ZYL_ERR_CANCELLED, tr("Operation cancelled"), {}};
}

}  // namespace zylgui
