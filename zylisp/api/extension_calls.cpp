// Exports added after the classic calls: the stop request, the detail of
// the last failure, and the check of a data file before a run.
#include <string>

#include "api/api_state.h"
#include "api/export_guard.h"
#include "api/image_files.h"
#include "core/atomic_file.h"
#include "core/stop_request.h"
#include "image/file_loader.h"

namespace zylisp {

int32_t CheckFile(const char* fileName, bool forWriting) {
  const std::string name = fileName ? fileName : "";
  const std::string problem =
      name.empty() ? std::string("no file name given")
                   : (forWriting ? TargetFileProblem(name) : DataFileProblem(name));
  if (problem.empty()) return Record(ZYL_OK);
  SetErrorDetail(ZYL_ERR_FILE, problem);
  return Record(ZYL_ERR_FILE);
}

}  // namespace zylisp

using namespace zylisp;

extern "C" {

ZYL_EXPORT void ZYL_CALL Zyl_RequestStop(void) { RequestStop(); }

ZYL_EXPORT const char* ZYL_CALL Zyl_GetErrorDetail(void) { return ErrorDetail(); }

ZYL_EXPORT int32_t ZYL_CALL Zyl_CheckFile(const char* fileName, uint8_t forWriting) {
  return Guarded<int32_t>(ZYL_ERR_FILE, [&] { return CheckFile(fileName, forWriting != 0); });
}

}  // extern "C"
