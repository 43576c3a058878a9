#include "chip_worker.h"

#include <QDateTime>
#include <algorithm>
#include <vector>

#include "crc32.h"
#include "file_formats.h"

namespace zylgui {

namespace {

// The progress callback comes per page; the window needs far fewer updates.
constexpr qint64 kProgressIntervalMs = 40;
// Enough for every port the library can name: one scan lists them all.
constexpr int32_t kPortCapacity = 128;
constexpr int kFirmwareTextSize = 64;

// The session's handler reaches its worker through the user pointer, on the
// worker's own thread.
void ZYL_CALL relayProgress(void* user, int32_t, int32_t done, int32_t total) {
  static_cast<ChipWorker*>(user)->reportProgress(done, total);
}

// Results after which the link cannot be trusted: the next operation
// connects anew.
bool linkLost(int code) {
  return code == ZYL_ERR_HARDWARE || code == ZYL_ERR_PORT || code == ZYL_ERR_NOT_RESPONDING ||
         code == ZYL_ERR_FIRMWARE || code == ZYL_ERR_PORT_IN_USE;
}

// A text field of the library's fixed size, also when it fills the field.
QString fixedText(const char* field, std::size_t size) {
  return QString::fromLocal8Bit(field, qsizetype(qstrnlen(field, uint(size))));
}

QString hexText(int value, int width) {
  return QString::number(value, 16).rightJustified(width, QLatin1Char('0')).toUpper();
}

}  // namespace

ChipWorker::ChipWorker(QObject* parent) : QObject(parent) {
  registerOperationTypes();
  Zyl_SessionCreate(&session_);
  transfer_ = std::make_unique<ImageTransfer>(session_);
}

// Also closes a connection still held.
ChipWorker::~ChipWorker() { Zyl_SessionDestroy(session_); }

void ChipWorker::requestStop() {
  stopRequested_ = true;
  Zyl_SessionRequestStop(session_);
}

void ChipWorker::finish() {
  finishing_ = true;
  requestStop();
}

void ChipWorker::reportProgress(int done, int total) {
  // The session forgets a request that came just before its operation
  // began: renew it.
  if (stopRequested_ || finishing_) Zyl_SessionRequestStop(session_);
  const bool edge = total > 0 && (done == 0 || done == total);
  if (!edge && sinceProgress_.isValid() && sinceProgress_.elapsed() < kProgressIntervalMs) return;
  sinceProgress_.start();
  emit progress(done, total);
}

QByteArray ChipWorker::peekImage(int offset, int length) {
  std::unique_lock<std::mutex> lock(sessionLock_, std::try_to_lock);
  if (!lock.owns_lock()) return {};
  return transfer_->read(offset, length);
}

void ChipWorker::start(const ProgrammerSettings& settings, bool ignoreChecksums) {
  {
    std::lock_guard<std::mutex> lock(sessionLock_);
    prepare(settings, ignoreChecksums);
  }
  emit libraryVersion(QString::fromLatin1(Zyl_GetDLLversion()));
  listPorts();
}

void ChipWorker::prepare(const ProgrammerSettings& settings, bool ignoreChecksums) {
  settings_ = settings;
  Zyl_SessionSetProgressHandler(session_, &relayProgress, this);
  // The session has just recorded success: its text tells a real result
  // text from a stale one later.
  okText_ = QString::fromUtf8(Zyl_SessionGetResultText(session_));
  int32_t window = 0;
  if (Zyl_SessionGetSerialWindow(session_, &window) == 0) defaultWindow_ = window;
  applyToSession();
  Zyl_SessionSetIgnoreChecksums(session_, ignoreChecksums ? 1 : 0);
  int32_t count = 0;
  std::vector<ZylPartInfo> table;
  if (Zyl_ListParts(nullptr, 0, &count) == 0 && count > 0) {
    table.resize(std::size_t(count));
    if (Zyl_ListParts(table.data(), count, &count) != 0) count = 0;
    table.resize(std::min(table.size(), std::size_t(std::max(count, 0))));
  }
  QVector<PartEntry> parts;
  parts.reserve(qsizetype(table.size()));
  for (const ZylPartInfo& p : table) {
    PartEntry part;
    part.name = fixedText(p.name, sizeof p.name);
    const QString aliases = fixedText(p.aliases, sizeof p.aliases);
    if (!aliases.isEmpty()) part.aliases = aliases.split(QStringLiteral(", "));
    part.family = p.family;
    part.busKind = p.busKind;
    part.size = p.size;
    part.pageSize = p.pageSize;
    if (!part.name.isEmpty()) parts << part;
  }
  emit partsListed(parts);
}

void ChipWorker::setIgnoreChecksums(bool ignore) {
  std::lock_guard<std::mutex> lock(sessionLock_);
  Zyl_SessionSetIgnoreChecksums(session_, ignore ? 1 : 0);
}

void ChipWorker::listPorts() {
  run(Operation::ListPorts, [this]() -> Outcome {
    std::vector<ZylPortInfo> found(kPortCapacity);
    int32_t count = 0;
    if (Zyl_ListPorts(0, found.data(), int32_t(found.size()), &count) != 0) count = 0;
    found.resize(std::min<std::size_t>(found.size(), std::size_t(std::max(count, 0))));
    // Parallel ports first, as the port list has always shown them.
    std::stable_partition(found.begin(), found.end(),
                          [](const ZylPortInfo& p) { return p.kind == ZYL_MODE_PARALLEL; });
    QStringList ports;
    QStringList devices;
    portDevices_.clear();
    for (const ZylPortInfo& port : found) {
      const QString name = fixedText(port.name, sizeof port.name);
      if (name.isEmpty()) continue;
      const QString path = fixedText(port.path, sizeof port.path);
      if (port.kind == ZYL_MODE_SERIAL && !path.isEmpty()) portDevices_.insert(name, path);
      ports << name;
      devices << portDevices_.value(name);
    }
    // A name may stand for another device now.
    portSelected_ = false;
    emit portsListed(ports, devices);
    return {0, okText_, ports.isEmpty() ? tr("no port found") : ports.join(QStringLiteral(", "))};
  });
}

void ChipWorker::select(const ChipSelection& selection) {
  run(Operation::Connect, [this, selection]() -> Outcome {
    closeConnection();
    selection_ = selection;
    portSelected_ = false;
    const int selected = Zyl_SessionSetDevice(session_, selection_.device.toLatin1().constData());
    if (selected != 0) {
      // Nothing is selected now: the session has no image to show. The
      // worker's copy waits for the next device.
      if (shownSize_ != 0) {
        shownSize_ = 0;
        emit imageChanged(0);
        emit imageChecked(crc32(QByteArray()));
      }
      return outcome(selected);
    }
    // A new device keeps what fits of the image.
    const QByteArray before = image_;
    const int size = transfer_->size();
    image_ = image_.left(size);
    image_.append(QByteArray(size - image_.size(), '\xFF'));
    restoreImage();
    if (image_.size() != shownSize_) announceImage();
    // The page size is checked against the new device.
    applyToSession();
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
    settings_ = settings;
    applyToSession();
    return {0, okText_, tr("used from the next operation on")};
  });
}

void ChipWorker::openFile(const QString& path) {
  run(Operation::Open, path, [this, path]() -> Outcome {
    const QByteArray name = path.toLocal8Bit();
    const int checked = Zyl_SessionCheckFile(session_, name.constData(), 0);
    if (checked != 0) return outcome(checked);
    if (selection_.device.isEmpty()) return {ZYL_ERR_NOT_READY, tr("Choose a device first"), {}};
    const int format = Zyl_IdentifyFile(name.constData());
    const int code = Zyl_SessionLoadFile(session_, name.constData());
    // A file that does not load whole, also one larger than the device, is
    // refused: the image stays the one the user had.
    Outcome o = code == 0 ? takeImage() : outcome(code);
    if (o.code == 0) o.summary = formatName(format);
    return o;
  });
}

void ChipWorker::saveFile(const QString& path, int format) {
  run(Operation::Save, path, [this, path, format]() -> Outcome {
    const QByteArray name = path.toLocal8Bit();
    const int checked = Zyl_SessionCheckFile(session_, name.constData(), 1);
    if (checked != 0) return outcome(checked);
    Outcome o =
        outcome(Zyl_SessionSaveFile(session_, name.constData(), static_cast<uint8_t>(format)));
    o.summary = formatName(format);
    return o;
  });
}

void ChipWorker::writeByte(int address, int value) {
  const bool inside = address >= 0 && address < image_.size();
  int code = 0;
  QString failure;
  {
    std::lock_guard<std::mutex> lock(sessionLock_);
    code = transfer_->store(address, QByteArray(1, static_cast<char>(value)));
    if (code != 0) failure = outcome(code).text;
  }
  if (code == 0 && inside) {
    image_[address] = static_cast<char>(value);
    checkAfterEdits();
  }
  if (code != 0) emit editFailed(address, failure);
  // The value the session holds there now.
  emit byteWritten(address, inside ? static_cast<quint8>(image_[address]) : 0xFF);
}

void ChipWorker::readChip() {
  run(Operation::Read, [this]() -> Outcome {
    const Outcome o = chipCall(tr("Reading"), [this] { return Zyl_SessionRead(session_); });
    if (o.code == 0) return takeImage();
    // A failed or cancelled read leaves the image as it was.
    restoreImage();
    return o;
  });
}

void ChipWorker::erase() {
  run(Operation::Erase,
      [this] { return chipCall(tr("Erasing"), [this] { return Zyl_SessionErase(session_); }); });
}

void ChipWorker::blankCheck() {
  run(Operation::BlankCheck, [this]() -> Outcome {
    Outcome o = chipCall(tr("Reading"), [this] { return Zyl_SessionBlankCheck(session_); });
    if (o.code == 0) o.summary = tr("blank");
    if (o.code != ZYL_ERR_VERIFY) return o;
    // A chip that is not blank is a finding, not a failure.
    ZylDifference first{};
    int32_t count = 0;
    if (Zyl_SessionGetDifferences(session_, &first, 1, &count) != 0 || count < 1) return o;
    return {0, okText_,
            tr("not blank: the first byte other than FF is at 0x%1 (%2)")
                .arg(hexText(first.address, 4), hexText(first.chip, 2))};
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
    Outcome o = chipCall(tr("Erasing"), [this] { return Zyl_SessionErase(session_); });
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
    o = outcome(Zyl_SessionGetStatus(session_, &status));
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
    Outcome o = chipCall(tr("Writing status"), [this, value] {
      return Zyl_SessionSetStatus(session_, static_cast<uint8_t>(value));
    });
    o.summary = QStringLiteral("0x") + hexText(value, 2);
    return o;
  });
}

void ChipWorker::detect() {
  run(Operation::Detect, [this]() -> Outcome {
    if (selection_.port.isEmpty())
      return {ZYL_ERR_PORT, tr("No port chosen: refresh the port list"), {}};
    closeConnection();
    emit stepStarted(tr("Asking the chip"));
    const Outcome port = selectPort();
    if (port.code != 0) return port;
    ZylDetection found{};
    const int code = Zyl_SessionDetect(session_, &found);
    Outcome o = outcome(code);
    // Nothing answering is a finding the library words itself; other
    // failures are the connection's.
    if (code != 0 && code != ZYL_ERR_DEVICE_UNKNOWN) return o;
    DetectedChip chip;
    const QString names = fixedText(found.names, sizeof found.names);
    if (!names.isEmpty()) chip.names = names.split(QStringLiteral(", "));
    chip.size = found.size;
    chip.text = fixedText(found.text, sizeof found.text);
    int32_t bus = 0;
    int32_t page = 0;
    // A part made from an SFDP table is known by its name in this process.
    if (!chip.names.isEmpty() &&
        Zyl_GetDeviceInfo(chip.names.front().toLatin1().constData(), &bus, nullptr, &page) == 0) {
      chip.busKind = bus;
      chip.pageSize = page;
    } else {
      chip.busKind = ZYL_BUS_SPI;
    }
    emit detected(chip);
    if (code == 0) o.summary = chip.text;
    return o;
  });
}

void ChipWorker::shutdown() {
  std::lock_guard<std::mutex> lock(sessionLock_);
  closeConnection();
}

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
  Outcome o;
  {
    std::lock_guard<std::mutex> lock(sessionLock_);
    // Once the window is going away, queued work does not start.
    o = finishing_ ? cancelledBeforeCall() : body();
    // The port is free for other programs while the window is idle.
    closeConnection();
  }
  // The view may read the image again by the time the window hears of it.
  result.code = o.code;
  result.text = o.text;
  result.summary = o.summary;
  result.milliseconds = timer.elapsed();
  emit operationFinished(result);
}

ChipWorker::Outcome ChipWorker::outcome(int code) const {
  if (code == 0) return {0, okText_, {}};
  // The session's texts belong to its last call, which gave code.
  const bool recorded = Zyl_SessionGetResult(session_) == code;
  QString text = recorded ? QString::fromUtf8(Zyl_SessionGetResultText(session_)) : QString();
  if (text.isEmpty() || text == okText_) text = tr("result code %1").arg(code);
  const QString detail =
      recorded ? QString::fromUtf8(Zyl_SessionGetErrorDetail(session_)) : QString();
  if (!detail.isEmpty()) text += QStringLiteral(": ") + detail;
  return {code, text, {}};
}

ChipWorker::Outcome ChipWorker::connectAdapter() {
  if (connected_) return {0, okText_, {}};
  if (selection_.port.isEmpty() || selection_.device.isEmpty())
    return {ZYL_ERR_NOT_READY, tr("Choose a port and a device first"), {}};
  emit stepStarted(tr("Connecting"));
  const Outcome port = selectPort();
  if (port.code != 0) return port;
  const int opened = Zyl_SessionOpen(session_);
  if (opened != 0) {
    const Outcome o = outcome(opened);
    Zyl_SessionClose(session_);
    return o;
  }
  connected_ = true;
  char firmware[kFirmwareTextSize] = {};
  if (Zyl_SessionGetFirmwareVersion(session_, firmware, sizeof firmware) != 0)
    qstrncpy(firmware, "N/A", sizeof firmware);
  QString where = selection_.port;
  const QString path = portDevices_.value(selection_.port);
  if (!path.isEmpty()) where += QStringLiteral(" (%1)").arg(path);
  QString description = tr("%1 on %2, adapter firmware %3")
                            .arg(selection_.device, where, QString::fromLatin1(firmware));
  // The serial link's send-ahead as the session uses it; parallel ports
  // have none.
  int32_t window = 0;
  if (!selection_.port.startsWith(QLatin1String("LPT"), Qt::CaseInsensitive) &&
      Zyl_SessionGetSerialWindow(session_, &window) == 0)
    description += tr(", send-ahead %1 bytes").arg(window);
  emit connectionChanged(true, description);
  return {0, okText_, {}};
}

ChipWorker::Outcome ChipWorker::selectPort() {
  if (portSelected_) return {0, okText_, {}};
  if (Zyl_SessionSetPort(session_, selection_.port.toLocal8Bit().constData()) != 0) {
    // The detail lists the ports there are.
    QString text = tr("Port %1 was not found").arg(selection_.port);
    const QString detail = QString::fromUtf8(Zyl_SessionGetErrorDetail(session_));
    if (!detail.isEmpty()) text += QStringLiteral(": ") + detail;
    return {ZYL_ERR_PORT, text, {}};
  }
  portSelected_ = true;
  return {0, okText_, {}};
}

void ChipWorker::closeConnection() {
  if (!connected_) return;
  Zyl_SessionClose(session_);
  connected_ = false;
  emit connectionChanged(false, {});
}

void ChipWorker::applyToSession() {
  // -1 leaves the library's own choice: 0 restores it where the session
  // has a value for that. The clock speed has none; it stays as last set.
  const ProgrammerSettings& s = settings_;
  if (s.pageSize < 0 || Zyl_SessionSetPageSize(session_, s.pageSize) != 0)
    // A page the device cannot take falls back to the device's own.
    Zyl_SessionSetPageSize(session_, 0);
  Zyl_SessionSetBusAddress(session_, static_cast<uint8_t>(s.busAddress < 0 ? 0xA0 : s.busAddress));
  Zyl_SessionSetWriteTime(session_, static_cast<uint8_t>(std::max(s.eeDelay, 0)));
  if (s.clockSpeed >= 0) Zyl_SessionSetSpeed(session_, static_cast<uint8_t>(s.clockSpeed));
  Zyl_SessionSetOrganisation(session_, static_cast<uint8_t>(s.progMode == 16 ? 16 : 8));
  Zyl_SessionSetResetPolarity(session_, static_cast<uint8_t>(s.resetPolarity));
  // The session has no way back to its own send-ahead once one was set:
  // the one it had at the start stands in for it.
  if (s.serialWindow >= 0) {
    Zyl_SessionSetSerialWindow(session_, s.serialWindow);
    windowSet_ = true;
  } else if (windowSet_ && defaultWindow_ >= 0) {
    Zyl_SessionSetSerialWindow(session_, defaultWindow_);
    windowSet_ = false;
  }
}

ChipWorker::Outcome ChipWorker::chipCall(const QString& step,
                                         const std::function<int32_t()>& call) {
  Outcome connected = connectAdapter();
  if (connected.code != 0) return connected;
  // The session forgets a stop asked for before its operation begins.
  if (stopRequested_ || finishing_) return cancelledBeforeCall();
  emit stepStarted(step);
  const Outcome o = outcome(call());
  if (linkLost(o.code)) closeConnection();
  return o;
}

ChipWorker::Outcome ChipWorker::programStep() {
  return chipCall(tr("Programming"), [this] { return Zyl_SessionProgram(session_); });
}

ChipWorker::Outcome ChipWorker::verifyStep() {
  Outcome o = chipCall(tr("Verifying"), [this] { return Zyl_SessionVerify(session_); });
  if (o.code == 0) emit differencesFound({});
  if (o.code != ZYL_ERR_VERIFY) return o;
  const QVector<ByteDifference> found = differences();
  emit differencesFound(found);
  const int count = int(found.size());
  const QString first = hexText(count ? found.front().address : 0, 4);
  o.summary = count == 0   ? tr("no difference was listed")
              : count == 1 ? tr("1 byte differs, at 0x%1").arg(first)
                           : tr("%1 bytes differ, the first at 0x%2").arg(count).arg(first);
  return o;
}

QVector<ByteDifference> ChipWorker::differences() const {
  int32_t count = 0;
  if (Zyl_SessionGetDifferences(session_, nullptr, 0, &count) != 0 || count <= 0) return {};
  std::vector<ZylDifference> list(std::size_t(count), ZylDifference{});
  if (Zyl_SessionGetDifferences(session_, list.data(), count, &count) != 0) return {};
  // The list may have shrunk between the two calls; never grown.
  list.resize(std::min(list.size(), std::size_t(std::max(count, 0))));
  QVector<ByteDifference> found;
  found.reserve(qsizetype(list.size()));
  for (const ZylDifference& d : list) found.append({d.address, d.chip, d.image});
  return found;
}

ChipWorker::Outcome ChipWorker::takeImage() {
  QByteArray image;
  const int fetched = transfer_->fetch(image);
  if (fetched != 0) {
    const Outcome o = outcome(fetched);
    restoreImage();
    return o;
  }
  image_ = image;
  announceImage();
  return {0, okText_, {}};
}

void ChipWorker::restoreImage() {
  if (!image_.isEmpty()) transfer_->store(0, image_);
}

void ChipWorker::announceImage() {
  shownSize_ = int(image_.size());
  emit imageChanged(shownSize_);
  emit imageChecked(crc32(image_));
}

void ChipWorker::checkAfterEdits() {
  // Edits come a byte at a time: one checksum of a large image after the
  // edits queued so far, not one per byte.
  if (checkQueued_) return;
  checkQueued_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        checkQueued_ = false;
        emit imageChecked(crc32(image_));
      },
      Qt::QueuedConnection);
}

ChipWorker::Outcome ChipWorker::cancelledBeforeCall() const {
  return {ZYL_ERR_CANCELLED, tr("Operation cancelled"), {}};
}

}  // namespace zylgui
