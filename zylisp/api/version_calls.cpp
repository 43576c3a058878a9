// Exports that tell which library and which adapter firmware the client
// works with, and hand a firmware update to the external updater.
#include <locale.h>
#include <sys/stat.h>

#include <cstring>
#include <ctime>
#include <string>

#include "api/session.h"
#include "api/chip_operations.h"
#include "api/connection.h"
#include "api/export_guard.h"
#include "api/firmware_updater.h"
#include "core/run_and_wait.h"
#include "drivers/isp_programmer.h"

using namespace zylisp;

namespace {

// The last modification of the running program's own file, in the user's
// date and time format; the process's locale stays as it is.
std::string ProgramFileDate() {
  struct stat st {};
  if (stat("/proc/self/exe", &st) != 0) return {};
  std::tm when{};
  if (!localtime_r(&st.st_mtime, &when)) return {};
  locale_t user = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  if (!user) user = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
  if (!user) return {};
  char text[256];
  const std::size_t n = strftime_l(text, sizeof text, "%x %X", &when, user);
  freelocale(user);
  return std::string(text, n);
}

}  // namespace

extern "C" {

ZYL_EXPORT const char* ZYL_CALL Zyl_GetDLLversion(void) { return ZYLISP_VERSION_TEXT; }

ZYL_EXPORT const char* ZYL_CALL Zyl_GetDLLDate(void) {
  return Guarded<const char*>("", [] {
    std::string& date = CurrentSession().DateText;
    date = ProgramFileDate();
    return date.c_str();
  });
}

ZYL_EXPORT const char* ZYL_CALL Zyl_GetFWVersion(void) {
  return Guarded<const char*>("N/A", [] {
    std::string& version = CurrentSession().FirmwareText;
    version = FirmwareVersion();
    return version.c_str();
  });
}

// Works on the connection held by Zyl_PROG_Open: the link is closed while
// the updater runs, so that it can use the port, and opened again after.
ZYL_EXPORT int32_t ZYL_CALL Zyl_UpdateFW(const char* folder) {
  return Guarded<int32_t>(ZYL_ERR_HARDWARE, [&]() -> int32_t {
    TSession& s = CurrentSession();
    TISPProgrammer* programmer = s.Programmer.get();
    if (!KindOfMode(s.Mode) || !s.KeepOpen || !programmer) return Record(ZYL_ERR_NOT_READY);
    const TUpdaterLookup lookup = FindUpdater(folder ? folder : "");
    if (lookup.Path.empty()) {
      Record(ZYL_ERR_FILE);
      SetErrorDetail(ZYL_ERR_FILE, lookup.Problem);
      return ZYL_ERR_FILE;
    }
    const std::string& updater = lookup.Path;
    try {
      programmer->Close();
    } catch (...) {
      // The link is released either way; the updater may still reach it.
    }
    const TRunOutcome ran = RunAndWait({updater, "zylisp", kRequiredFirmware}, UpdaterTimeLimit());
    // An updater that failed has not updated anything, whatever follows.
    int32_t result = ran.Succeeded() ? ZYL_OK : ZYL_ERR_FILE;
    std::string failure = ran.Succeeded() ? std::string() : updater + " " + ran.Failure();
    try {
      OpenLink(*programmer);
    } catch (...) {
      if (result == ZYL_OK) result = ZYL_ERR_HARDWARE;
    }
    if (result == ZYL_ERR_FILE) SetErrorDetail(ZYL_ERR_FILE, std::move(failure));
    return Record(result);
  });
}

ZYL_EXPORT int32_t ZYL_CALL Zyl_CheckUpdater(const char* folder) {
  return Guarded<int32_t>(ZYL_ERR_FILE, [&]() -> int32_t {
    const TUpdaterLookup lookup = FindUpdater(folder ? folder : "");
    if (lookup.Path.empty()) {
      Record(ZYL_ERR_FILE);
      SetErrorDetail(ZYL_ERR_FILE, lookup.Problem);
      return ZYL_ERR_FILE;
    }
    return Record(ZYL_OK);
  });
}

}  // extern "C"
