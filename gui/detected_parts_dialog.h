// Asks which of the parts that share a detected chip's ID is on the
// adapter. It is opened, not run: the window keeps serving the worker.
#pragma once

#include <QDialog>

class QListWidget;

namespace zylgui {

class DetectedPartsDialog : public QDialog {
  Q_OBJECT

 public:
  // text: what the library found; parts: the names to choose from.
  DetectedPartsDialog(const QString& text, const QStringList& parts, QWidget* parent = nullptr);
  // The part highlighted; "" for none.
  QString chosen() const;

 private:
  QListWidget* list_;
};

}  // namespace zylgui
