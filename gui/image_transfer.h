// Moves the memory image between a library session and the window's copy
// in whole blocks, and counts the image calls it makes, so that a caller
// can tell how many crossings a load or a read cost.
#pragma once

#include <QByteArray>
#include <atomic>

#include "zylisp.h"

namespace zylgui {

class ImageTransfer {
 public:
  explicit ImageTransfer(ZylSession* session) : session_(session) {}

  // The session's image size in bytes; 0 without a device.
  int size();
  // The session's whole image into image; the result code of the read (an
  // empty image without a device).
  int fetch(QByteArray& image);
  // length bytes of the session's image from offset: one block call, for a
  // view that reads the image as it shows it. Empty when the read fails.
  QByteArray read(int offset, int length);
  // bytes into the session's image from offset on.
  int store(int offset, const QByteArray& bytes);

  // Image calls made so far; readable from any thread.
  int calls() const { return calls_; }

 private:
  ZylSession* session_;
  std::atomic<int> calls_{0};
};

}  // namespace zylgui
