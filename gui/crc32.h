// CRC-32 (the one of zip and PNG) of an image, shown in the status bar.
#pragma once

#include <QByteArray>

namespace zylgui {

quint32 crc32(const QByteArray& data);

}  // namespace zylgui
