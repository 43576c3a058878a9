#include "file_formats.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include "zylisp.h"

namespace zylgui {

namespace {

struct SaveFormat {
  int format;
  const char* name;
  const char* extensions;  // the first is the usual one
};

const SaveFormat kSaveFormats[] = {
    {ZYL_FMT_INTEL_HEX, QT_TRANSLATE_NOOP("zylgui", "Intel HEX"), "hex ihx ihex"},
    {ZYL_FMT_MOTOROLA_S1, QT_TRANSLATE_NOOP("zylgui", "Motorola S1"), "s19 s1"},
    {ZYL_FMT_MOTOROLA_S2, QT_TRANSLATE_NOOP("zylgui", "Motorola S2"), "s28 s2"},
    {ZYL_FMT_MOTOROLA_S3, QT_TRANSLATE_NOOP("zylgui", "Motorola S3"), "s37 s3"},
    {ZYL_FMT_EXTENDED_TEKTRONIX, QT_TRANSLATE_NOOP("zylgui", "Extended Tektronix"), "xtek"},
    {ZYL_FMT_TEKTRONIX, QT_TRANSLATE_NOOP("zylgui", "Tektronix"), "tek"},
    {ZYL_FMT_BINARY, QT_TRANSLATE_NOOP("zylgui", "Binary"), "bin rom eep img"},
    {ZYL_FMT_BYTE_LIST, QT_TRANSLATE_NOOP("zylgui", "Byte list"), "lst txt"},
};

QString filterText(const SaveFormat& f) {
  QStringList patterns;
  for (const QString& ext : QString::fromLatin1(f.extensions).split(QLatin1Char(' ')))
    patterns << QStringLiteral("*.") + ext;
  return QStringLiteral("%1 (%2)").arg(QCoreApplication::translate("zylgui", f.name),
                                       patterns.join(QLatin1Char(' ')));
}

}  // namespace

QString saveFilters() {
  QStringList filters;
  for (const SaveFormat& f : kSaveFormats) filters << filterText(f);
  return filters.join(QStringLiteral(";;"));
}

int formatOfFilter(const QString& filter) {
  for (const SaveFormat& f : kSaveFormats)
    if (filterText(f) == filter) return f.format;
  return 0;
}

QString filterOfFormat(int format) {
  for (const SaveFormat& f : kSaveFormats)
    if (f.format == format) return filterText(f);
  return {};
}

int formatForFileName(const QString& fileName, int imageSize) {
  const QString ext = QFileInfo(fileName).suffix().toLower();
  if (ext == QLatin1String("srec") || ext == QLatin1String("mot"))
    return imageSize <= 0x10000 ? ZYL_FMT_MOTOROLA_S1 : ZYL_FMT_MOTOROLA_S2;
  for (const SaveFormat& f : kSaveFormats)
    if (QString::fromLatin1(f.extensions).split(QLatin1Char(' ')).contains(ext)) return f.format;
  return 0;
}

QString openFilters() {
  QStringList patterns = {QStringLiteral("*.srec"), QStringLiteral("*.mot")};
  for (const SaveFormat& f : kSaveFormats)
    for (const QString& ext : QString::fromLatin1(f.extensions).split(QLatin1Char(' ')))
      patterns << QStringLiteral("*.") + ext;
  return QCoreApplication::translate("zylgui", "Data files (%1);;All files (*)")
      .arg(patterns.join(QLatin1Char(' ')));
}

QString formatName(int format) {
  if (format == ZYL_FMT_INTEL_HEX_SEGMENT || format == ZYL_FMT_INTEL_HEX_LINEAR)
    format = ZYL_FMT_INTEL_HEX;
  for (const SaveFormat& f : kSaveFormats)
    if (f.format == format) return QCoreApplication::translate("zylgui", f.name);
  return QCoreApplication::translate("zylgui", "format %1").arg(format);
}

}  // namespace zylgui
