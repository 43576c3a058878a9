/* A client written in C: includes zylisp.h, links the library by name and
 * calls the exports as any C program would. */
#include <stdio.h>
#include <string.h>

#include "zylisp.h"

static int failures = 0;
static int calls = 0;

#define CHECK(cond)                                              \
  do {                                                           \
    if (!(cond)) {                                               \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                \
    }                                                            \
  } while (0)

static void ZYL_CALL on_progress(int32_t done, int32_t total) {
  (void)done;
  (void)total;
  ++calls;
}

int main(void) {
  char name[ZYL_DEVICE_NAME_SIZE];
  uint32_t i;
  int32_t total = 0;

  CHECK(strcmp(Zyl_GetLastError(), "Operation Successful") == 0);
  CHECK(Zyl_SetProgressHandler(on_progress) == 0);
  CHECK(Zyl_SetProgressHandler(NULL) == 0);

  CHECK(Zyl_GetDeviceCount(ZYL_BUS_I2C) == 21);
  CHECK(Zyl_GetDeviceCount(ZYL_BUS_SPI) == 23);
  CHECK(Zyl_GetDeviceCount(ZYL_BUS_MICROWIRE) == 7);
  CHECK(Zyl_GetDeviceCount(3) == 0);

  for (i = 0; i < 3; ++i) total += Zyl_GetDeviceCount((int32_t)i);
  CHECK(total == 51);

  /* Every name fits the documented buffer. */
  for (i = 0; i < 23; ++i) {
    memset(name, 0, sizeof name);
    CHECK(Zyl_GetDevice(ZYL_BUS_SPI, i, name) == 0);
    CHECK(strlen(name) <= ZYL_DEVICE_NAME_MAX);
  }
  CHECK(Zyl_GetDevice(ZYL_BUS_I2C, 0, name) == 0 && strcmp(name, "24C00") == 0);
  strcpy(name, "unchanged");
  CHECK(Zyl_GetDevice(ZYL_BUS_I2C, 21, name) == 1 && strcmp(name, "unchanged") == 0);
  CHECK(Zyl_GetDevice(ZYL_BUS_I2C, 0x80000000u, name) == 1);

  CHECK(Zyl_SetDevice("24c16") == ZYL_OK);
  CHECK(Zyl_SetMode(ZYL_MODE_PARALLEL) == ZYL_OK);
  CHECK(Zyl_SetMode(4) == 1);
  CHECK(strcmp(Zyl_GetLastError(), "Invalid File type or File not found, access denied etc.") == 0);
  CHECK(Zyl_SetPort(1) == ZYL_OK);
  CHECK(Zyl_SetDevice("AT90S1200") == ZYL_ERR_DEVICE_UNKNOWN);
  CHECK(strcmp(Zyl_GetLastError(), "device not supported or recognises") == 0);

  if (failures) {
    fprintf(stderr, "%d checks failed\n", failures);
    return 1;
  }
  printf("C client: all checks passed\n");
  return 0;
}
