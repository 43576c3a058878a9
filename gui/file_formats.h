// The data-file formats the library writes, as the save dialog offers them.
#pragma once

#include <QString>

namespace zylgui {

// Name filters for the save dialog, one per format, separated by ";;".
QString saveFilters();
// The format of a filter of saveFilters(); 0 for any other text.
int formatOfFilter(const QString& filter);
// The filter of a format, for preselecting it.
QString filterOfFormat(int format);
// The format a file name asks for by its extension, 0 for an unknown one.
// S-record names without a size (.srec, .mot) get the smallest record type
// that addresses imageSize bytes.
int formatForFileName(const QString& fileName, int imageSize);
// Name filters for the open dialog: every format the library reads.
QString openFilters();
// The name of a format number (also 2 and 3, as Zyl_IdentifyFile answers).
QString formatName(int format);

}  // namespace zylgui
