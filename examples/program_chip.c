/* Programs a chip from a data file, verifies it and reads it back into a
 * second file, through the library's exports: what a client does.
 *
 *   program_chip PORT DEVICE IN-FILE OUT-FILE
 */
#include <stdio.h>
#include <string.h>

#include "zylisp.h"

static int last_percent = -1;

static void ZYL_CALL show_progress(int32_t done, int32_t total) {
  int percent;
  if (total <= 0) return;
  percent = (int)((int64_t)done * 100 / total);
  if (percent / 10 != last_percent / 10) {
    printf(" %d%%", percent);
    fflush(stdout);
  }
  last_percent = percent;
}

static int step(const char* what, int32_t result) {
  printf("%s:%s\n", what, result == 0 ? " OK" : "");
  if (result != 0) printf("  failed (%d): %s\n", result, Zyl_GetLastError());
  last_percent = -1;
  return result == 0;
}

int main(int argc, char** argv) {
  uint8_t mode;
  if (argc != 5) {
    fprintf(stderr, "usage: %s PORT DEVICE IN-FILE OUT-FILE\n", argv[0]);
    return 2;
  }
  mode = strncmp(argv[1], "COM", 3) == 0 ? ZYL_MODE_SERIAL : ZYL_MODE_PARALLEL;
  if (Zyl_InitProgrammer(argv[1], argv[2], mode) != 0) {
    fprintf(stderr, "port %s not found\n", argv[1]);
    return 1;
  }
  Zyl_SetProgressHandler(show_progress);
  if (!step("open", Zyl_PROG_Open())) return 1;
  printf("program");
  if (!step("", Zyl_ProgramEEPROM(argv[3]))) return 1;
  printf("verify");
  if (!step("", Zyl_VerifyEEPROM(argv[3]))) return 1;
  printf("read");
  if (!step("", Zyl_ReadEEPROM(argv[4], ZYL_FMT_INTEL_HEX))) return 1;
  Zyl_PROG_Close();
  return 0;
}
