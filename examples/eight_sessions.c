/* eight_sessions: programs several chips at the same time, each in an
 * adapter of its own, with one library session and one thread per
 * adapter. A production bench usually has eight.
 *
 *   eight_sessions DEVICE:PORT:FILE [DEVICE:PORT:FILE ...]
 *
 *   DEVICE  catalogue name of the chip in that adapter (24C1024, 25C64,
 *           93C46; any letter case)
 *   PORT    the adapter's serial port: a device path (/dev/ttyUSB0) or a
 *           port name the library lists (COM2)
 *   FILE    data file for that chip, in any format the library loads
 *           (binary, Intel hex, Motorola S...); what follows the second
 *           colon is taken whole, so the file name may hold colons
 *
 * Each thread creates its session, selects the device and the port, opens
 * the connection and holds it for all steps, loads the file, copies the
 * loaded image aside, programs, verifies, reads the chip back and compares
 * the bytes read with that copy, then closes and frees the session. The
 * comparison catches a chip that verified but reads back otherwise, which
 * a verify against the same image cannot. Sessions share no state, so the
 * threads need no lock: each fills its own job record, which main reads
 * after joining them all.
 *
 * When all are done it prints one line per adapter, in the order given:
 *
 *   24C1024    /dev/ttyUSB0: OK (48.3 s)
 *   25C64      /dev/ttyUSB1: program failed (9): <library text>: <detail> (0.4 s)
 *   93C46      /dev/ttyUSB2: read back differs in 3 bytes, first at 0x0010 (1.2 s)
 *
 * The seconds run from the creation of the session to its end. Exit
 * status: 0 when every chip was programmed and read back equal to its
 * file, 1 when any was not, 2 for bad arguments. Ctrl-C stops the running
 * operations of every session at their next page (Zyl_RequestStop); they
 * end as cancelled.
 */
#define _POSIX_C_SOURCE 200809L

#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "zylisp.h"

struct job {
  const char* device;
  const char* port;
  const char* file;
  int ok;
  double seconds;
  char outcome[512];
};

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* Keeps the first failure of the job, with the session's own text and
 * detail; answers whether the step succeeded. */
static int step(struct job* job, ZylSession* session, const char* what, int32_t result) {
  const char* detail;
  if (result == ZYL_OK) return 1;
  if (job->outcome[0] != '\0') return 0;
  detail = Zyl_SessionGetErrorDetail(session);
  snprintf(job->outcome, sizeof job->outcome, "%s failed (%d): %s%s%s", what, (int)result,
           Zyl_SessionGetResultText(session), detail[0] ? ": " : "", detail);
  return 0;
}

/* Compares the chip's bytes with the file's; 1 when equal. */
static int compare(struct job* job, const uint8_t* expected, const uint8_t* actual, int32_t size) {
  int32_t i, first = -1, count = 0;
  for (i = 0; i < size; ++i) {
    if (expected[i] != actual[i]) {
      if (first < 0) first = i;
      ++count;
    }
  }
  if (count == 0) return 1;
  snprintf(job->outcome, sizeof job->outcome, "read back differs in %ld bytes, first at 0x%04lX",
           (long)count, (unsigned long)first);
  return 0;
}

static void* run_job(void* arg) {
  struct job* job = arg;
  ZylSession* session = NULL;
  uint8_t* expected = NULL;
  uint8_t* actual = NULL;
  int32_t size = 0;
  int ok;
  const double start = now();

  if (Zyl_SessionCreate(&session) != ZYL_OK) {
    snprintf(job->outcome, sizeof job->outcome, "no session could be made");
    job->seconds = now() - start;
    return NULL;
  }
  ok = step(job, session, "device", Zyl_SessionSetDevice(session, job->device)) &&
       step(job, session, "port", Zyl_SessionSetPort(session, job->port)) &&
       step(job, session, "open", Zyl_SessionOpen(session)) &&
       step(job, session, "load", Zyl_SessionLoadFile(session, job->file)) &&
       step(job, session, "image size", Zyl_SessionGetImageSize(session, &size));
  if (ok) {
    expected = malloc(size > 0 ? (size_t)size : 1);
    actual = malloc(size > 0 ? (size_t)size : 1);
    if (!expected || !actual) {
      snprintf(job->outcome, sizeof job->outcome, "out of memory for %ld bytes", (long)size);
      ok = 0;
    }
  }
  ok = ok && step(job, session, "image copy", Zyl_SessionReadImage(session, 0, expected, size)) &&
       step(job, session, "program", Zyl_SessionProgram(session)) &&
       step(job, session, "verify", Zyl_SessionVerify(session)) &&
       step(job, session, "read", Zyl_SessionRead(session)) &&
       step(job, session, "image copy", Zyl_SessionReadImage(session, 0, actual, size)) &&
       compare(job, expected, actual, size);
  /* A failed close after good work still counts: the adapter was left in
   * an unknown state. */
  ok = step(job, session, "close", Zyl_SessionClose(session)) && ok;
  Zyl_SessionDestroy(session);
  free(expected);
  free(actual);
  if (ok) snprintf(job->outcome, sizeof job->outcome, "OK");
  job->ok = ok;
  job->seconds = now() - start;
  return NULL;
}

static void on_interrupt(int sig) {
  (void)sig;
  Zyl_RequestStop();
}

/* Splits DEVICE:PORT:FILE in place; 0 when a part is missing or empty. */
static int parse(char* arg, struct job* job) {
  char* first = strchr(arg, ':');
  char* second = first ? strchr(first + 1, ':') : NULL;
  if (!second || first == arg || second == first + 1 || second[1] == '\0') return 0;
  *first = '\0';
  *second = '\0';
  job->device = arg;
  job->port = first + 1;
  job->file = second + 1;
  return 1;
}

int main(int argc, char** argv) {
  struct job* jobs;
  pthread_t* threads;
  int* started;
  int i, count = argc - 1, failed = 0;

  if (count < 1) {
    fprintf(stderr, "usage: %s DEVICE:PORT:FILE [DEVICE:PORT:FILE ...]\n", argv[0]);
    return 2;
  }
  jobs = calloc((size_t)count, sizeof *jobs);
  threads = calloc((size_t)count, sizeof *threads);
  started = calloc((size_t)count, sizeof *started);
  if (!jobs || !threads || !started) {
    fprintf(stderr, "%s: out of memory\n", argv[0]);
    return 1;
  }
  for (i = 0; i < count; ++i) {
    if (!parse(argv[i + 1], &jobs[i])) {
      fprintf(stderr, "%s: '%s' is not DEVICE:PORT:FILE\n", argv[0], argv[i + 1]);
      return 2;
    }
  }
  signal(SIGINT, on_interrupt);

  for (i = 0; i < count; ++i) {
    started[i] = pthread_create(&threads[i], NULL, run_job, &jobs[i]) == 0;
    if (!started[i]) snprintf(jobs[i].outcome, sizeof jobs[i].outcome, "no thread could be started");
  }
  for (i = 0; i < count; ++i) {
    if (started[i]) pthread_join(threads[i], NULL);
  }

  for (i = 0; i < count; ++i) {
    printf("%-10s %s: %s (%.1f s)\n", jobs[i].device, jobs[i].port, jobs[i].outcome,
           jobs[i].seconds);
    if (!jobs[i].ok) ++failed;
  }
  free(jobs);
  free(threads);
  free(started);
  return failed ? 1 : 0;
}
