/*
 * zylisp: drives the in-system programmer adapter for serial EEPROMs
 * (I2C 24-series, SPI 25-series, Microwire 93-series) on a parallel or a
 * serial port.
 *
 * Every function returns a result code unless its comment says otherwise;
 * Zyl_GetLastError gives the text of the last recorded one. Byte arguments
 * are uint8_t: only their low 8 bits count.
 *
 * Sessions and threads. Everything a client selects, sets and holds (the
 * device, the port, the settings, the memory image, the connection, the
 * last result and its detail, the progress handler) belongs to a session.
 * The classic calls, from Zyl_SetProgressHandler to the extensions before
 * the "Sessions" section, all work on the one default session of the
 * process; the Zyl_Session... calls work on a session the client created.
 *  - A session is used by one thread at a time (the default session
 *    included); the client orders the calls on one session.
 *  - Different sessions may be used at the same time from different
 *    threads: no lock is held across a chip operation, and what one
 *    session does never changes another's state or texts.
 *  - Texts returned by the library belong to the session that returned
 *    them and stay valid until the next call of the same function on that
 *    session (texts of fixed results, such as Zyl_GetLastError's and
 *    Zyl_GetDLLversion's, stay valid for the life of the library).
 *  - The device catalogue never changes and is shared by all. The settings
 *    file is shared by every session and process: each change of it is
 *    made under a file lock, so writers of different keys never lose each
 *    other's.
 *  - Zyl_RequestStop (safe in a signal handler) stops every operation of
 *    the process that is running when it is called; Zyl_SessionRequestStop
 *    stops only that session's.
 *  - The calls that neither take a session nor record a result
 *    (Zyl_GetDeviceCount, Zyl_GetFormatLimit, Zyl_RequestStop,
 *    Zyl_ListPorts) may be called from any thread at any time.
 */
#ifndef ZYLISP_H
#define ZYLISP_H

#include <stdint.h>

#if defined(__i386__)
#define ZYL_CALL __attribute__((stdcall))
#else
#define ZYL_CALL
#endif

#if defined(ZYLISP_BUILDING)
#define ZYL_EXPORT __attribute__((visibility("default")))
#else
#define ZYL_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
#define ZYL_OK 0
#define ZYL_ERR_FILE 1
#define ZYL_ERR_NOT_READY 2
#define ZYL_ERR_HARDWARE 3
#define ZYL_ERR_PORT 4
#define ZYL_ERR_AREA 5
#define ZYL_ERR_FILE_TOO_LARGE 6
#define ZYL_ERR_OUTSIDE_BUFFER 7
#define ZYL_ERR_DEVICE_UNKNOWN 8
#define ZYL_ERR_NOT_RESPONDING 9
#define ZYL_ERR_VERIFY 10
#define ZYL_ERR_NOT_SUPPORTED 11
#define ZYL_ERR_FIRMWARE 12
#define ZYL_ERR_PORT_IN_USE 17
#define ZYL_ERR_CANCELLED 18
#define ZYL_ERR_WRITE_PROTECTED 19

/* Programmer kinds for Zyl_SetMode and friends. */
#define ZYL_MODE_SERIAL 1
#define ZYL_MODE_PARALLEL 2

/* Bus kinds for Zyl_GetDevice and Zyl_GetDeviceCount. */
#define ZYL_BUS_I2C 0
#define ZYL_BUS_SPI 1
#define ZYL_BUS_MICROWIRE 2

/* The longest device name in the catalogue ("25010 (AT)") has 10
 * characters; a name buffer for Zyl_GetDevice needs ZYL_DEVICE_NAME_SIZE
 * bytes. A port name buffer for Zyl_GetPort needs ZYL_PORT_NAME_SIZE. */
#define ZYL_DEVICE_NAME_MAX 10
#define ZYL_DEVICE_NAME_SIZE (ZYL_DEVICE_NAME_MAX + 1)
#define ZYL_PORT_NAME_SIZE 256

/* File formats for Zyl_SaveBuffer and Zyl_ReadEEPROM, and the answers of
 * Zyl_IdentifyFile. */
#define ZYL_FMT_INTEL_HEX 1
#define ZYL_FMT_INTEL_HEX_SEGMENT 2
#define ZYL_FMT_INTEL_HEX_LINEAR 3
#define ZYL_FMT_MOTOROLA_S1 4
#define ZYL_FMT_MOTOROLA_S2 5
#define ZYL_FMT_MOTOROLA_S3 6
#define ZYL_FMT_EXTENDED_TEKTRONIX 7
#define ZYL_FMT_TEKTRONIX 8
#define ZYL_FMT_BINARY 9
#define ZYL_FMT_BYTE_LIST 10

/* The one memory area of the catalogue's devices. */
#define ZYL_AREA_EEPROM 1

/* Progress callback: (done, total) byte counts while an operation runs. */
typedef void(ZYL_CALL *ZylProgressHandler)(int32_t done, int32_t total);

/* State, selection and result texts. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SetProgressHandler(ZylProgressHandler handler);
ZYL_EXPORT int32_t ZYL_CALL Zyl_SetDevice(const char* name);
ZYL_EXPORT int32_t ZYL_CALL Zyl_SetMode(uint8_t mode);
ZYL_EXPORT int32_t ZYL_CALL Zyl_SetPort(uint8_t port);
/* Copies the index-th name of that bus kind into name, which must hold
 * ZYL_DEVICE_NAME_SIZE bytes; 1 (name untouched) when index is too big. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_GetDevice(int32_t busKind, uint32_t index, char* name);
/* Number of catalogue devices of that bus kind (not recorded). */
ZYL_EXPORT int32_t ZYL_CALL Zyl_GetDeviceCount(int32_t busKind);
ZYL_EXPORT const char* ZYL_CALL Zyl_GetLastError(void);

/* Ports and the programmer connection. A port another program holds gives
 * ZYL_ERR_PORT_IN_USE. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_InitProgrammer(const char* portName, const char* deviceName,
                                               uint8_t mode);
/* Number of ports of that kind; clears the device selection. */
ZYL_EXPORT uint8_t ZYL_CALL Zyl_GetNumPorts(uint8_t mode);
/* Copies the index-th port name into name (ZYL_PORT_NAME_SIZE bytes). */
ZYL_EXPORT int32_t ZYL_CALL Zyl_GetPort(int32_t index, char* name, uint8_t mode);
ZYL_EXPORT int32_t ZYL_CALL Zyl_PROG_Open(void);
ZYL_EXPORT int32_t ZYL_CALL Zyl_PROG_Close(void);

/* The memory image and data files. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_LoadBuffer(uint8_t area, const char* fileName);
ZYL_EXPORT int32_t ZYL_CALL Zyl_SaveBuffer(uint8_t area, const char* fileName, uint8_t format);
ZYL_EXPORT int32_t ZYL_CALL Zyl_ClearBuffer(uint8_t area);
/* Format number of the file; 9 for binary, unknown or unreadable files. A
 * text file with a damaged line answers the format its records claim; it
 * fails to load (Zyl_GetErrorDetail names the line). */
ZYL_EXPORT int32_t ZYL_CALL Zyl_IdentifyFile(const char* fileName);
ZYL_EXPORT int32_t ZYL_CALL Zyl_ReadBuffer(uint8_t area, int32_t address, uint8_t* value);
ZYL_EXPORT int32_t ZYL_CALL Zyl_WriteBuffer(uint8_t area, int32_t address, uint8_t value);
/* Size of the image in bytes, 0 when there is none. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_GetBufferSize(uint8_t area);
/* The image byte at address, 0 when it cannot be read. */
ZYL_EXPORT uint8_t ZYL_CALL Zyl_ANSI_ReadBuffer(uint8_t area, int32_t address);

/* Operations on the chip. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_EraseAllDevice(void);
/* Reads the chip into the image and, with a file name, saves it in format. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_ReadEEPROM(const char* fileName, uint8_t format);
ZYL_EXPORT int32_t ZYL_CALL Zyl_ProgramEEPROM(const char* fileName);
ZYL_EXPORT int32_t ZYL_CALL Zyl_VerifyEEPROM(const char* fileName);
ZYL_EXPORT int32_t ZYL_CALL Zyl_TestComms(void);
/* SPI parts: writes the status register; Microwire parts: writes the value
 * into every location; other parts: ZYL_ERR_NOT_SUPPORTED. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_WriteStatus(uint8_t value);
/* The chip's status byte (SPI and DataFlash parts), or a result code;
 * ZYL_ERR_NOT_SUPPORTED for parts without a status register. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_ReadStatus(void);
/* The same as Zyl_WriteStatus. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_WriteAllValue(uint8_t value);
ZYL_EXPORT int32_t ZYL_CALL Zyl_WriteProgMode(uint8_t mode);
ZYL_EXPORT int32_t ZYL_CALL Zyl_SetResetPolarity(uint8_t polarity);
ZYL_EXPORT int32_t ZYL_CALL Zyl_SetBusAddress(uint8_t address);
/* 1 for 0 or a size above the selected device's write page, which would
 * wrap inside the chip's pages (the detail names the page size). */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SetPageSize(uint8_t size);
ZYL_EXPORT int32_t ZYL_CALL Zyl_SetSerialNum(int32_t low, int32_t high);
ZYL_EXPORT int32_t ZYL_CALL Zyl_PROG_EE_Time(uint8_t time);
ZYL_EXPORT int32_t ZYL_CALL Zyl_PROG_Speed(uint8_t speed);

/* Versions and the firmware update. */
/* The library's version, MAJOR.MINOR.PATCH.BUILD. */
ZYL_EXPORT const char* ZYL_CALL Zyl_GetDLLversion(void);
/* Date and time of the calling program's own file, in the user's format. */
ZYL_EXPORT const char* ZYL_CALL Zyl_GetDLLDate(void);
/* The adapter's firmware version, "N/A" when it cannot be reached. */
ZYL_EXPORT const char* ZYL_CALL Zyl_GetFWVersion(void);
/* Runs the updater Tarnwick.exe (any letter case) of folder on the
 * connection held by Zyl_PROG_Open. The folder must be named: a null or
 * empty one is refused, never the current folder searched. The updater
 * must be a regular file owned by the caller or by root that neither its
 * group nor others may write, in a folder that neither its group nor
 * others may write; another is refused (1, the detail says why). 2 without
 * a held connection, 1 when the updater is missing, refused, cannot be
 * started, ends with a non-zero exit status or by a signal, or is stopped
 * after five minutes (Zyl_GetErrorDetail says how it ended), 3 when the
 * programmer cannot be reached again afterwards. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_UpdateFW(const char* folder);

/* Extensions. They come after the classic calls above and never change
 * what those do. */

/* Asks the running chip operation to stop at its next page or block
 * boundary. Safe to call from a signal handler and from another thread.
 * The operation ends its pass, leaves the adapter ready and the connection
 * usable, and returns ZYL_ERR_CANCELLED; the chip keeps every page written
 * before the stop. A request made while no operation runs is forgotten
 * when the next operation starts. */
ZYL_EXPORT void ZYL_CALL Zyl_RequestStop(void);

/* What the last recorded failure was about, when the library knows more
 * than its code says: the file and line of a damaged data file, the path
 * and the system's reason of a file that cannot be written, the settings
 * file or the emulator key at fault. "" when there is nothing to add. */
ZYL_EXPORT const char* ZYL_CALL Zyl_GetErrorDetail(void);

/* Checks a data file before any chip is touched. forWriting 0: the file
 * can be programmed or verified from (it can be read, is a regular file or
 * a FIFO that a program writes, is binary or a text format without damaged
 * lines, and holds data); with a device selected, also that it fits the
 * device as a load would find. forWriting 1: a file of that name can be written (its folder
 * exists and may be written, an existing file may be replaced). 0 when it
 * can, ZYL_ERR_FILE otherwise, with the reason in Zyl_GetErrorDetail. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_CheckFile(const char* fileName, uint8_t forWriting);

/* The device path behind a serial port name such as "COM3", copied into
 * path, which holds size bytes. 0; ZYL_ERR_PORT when the port list has no
 * such port (the detail says why); 1 when path is null or too small. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_GetPortDevice(const char* portName, char* path, int32_t size);

/* Checks, as Zyl_UpdateFW does before it starts anything, that folder
 * holds an updater that may be run: 0, or 1 with the reason in
 * Zyl_GetErrorDetail. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_CheckUpdater(const char* folder);

/* Reads the chip's status register into *status (SPI and DataFlash parts).
 * The result code alone is returned, so a failure is never mistaken for a
 * status value; *status is left as it was when the read fails.
 * ZYL_ERR_NOT_SUPPORTED for parts without a status register, 1 when status
 * is null. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_GetStatusByte(uint8_t* status);

/* The catalogue's facts of the device of that name (any letter case),
 * without selecting it: its bus kind (ZYL_BUS_...), its size and its write
 * page in bytes; a null pointer is skipped. 0; ZYL_ERR_DEVICE_UNKNOWN for
 * a name the catalogue does not hold. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_GetDeviceInfo(const char* name, int32_t* busKind, int32_t* size,
                                              int32_t* pageSize);

/* The highest address a file of that format can hold (0xFFFF for
 * Tektronix, 0x7FFFFFFF for binary), 0 for a format no file is saved in.
 * Not recorded. A chip read into a file of a format that cannot hold the
 * device fails before the chip is read. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_GetFormatLimit(uint8_t format);

/* Record checksums of text data files are compared when a file is loaded
 * or checked, and a record whose checksum is wrong refuses the file (the
 * detail names the line, the checksum found and the one expected). ignore
 * 1 stops the comparison, for hand-edited files; 0 (the default) restores
 * it. Kept for the life of the library. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SetIgnoreChecksums(uint8_t ignore);

/* The differences of the last verify: how many addresses held another
 * byte on the chip than in the image (0 after a verify that passed, before
 * any, and after the image or the selection changed). Not recorded. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_GetDifferenceCount(void);

/* The index-th difference of the last verify, in address order: its
 * address, the chip's byte and the image's byte (a null pointer is
 * skipped). 0; 1 when index is out of range. Not recorded. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_GetDifference(int32_t index, int32_t* address, uint8_t* chipValue,
                                              uint8_t* imageValue);

/* Sessions. Each session holds its own device, port, settings, image,
 * connection and results (see the first comment of this file for the
 * rules of threads). Every call takes the session first and returns a
 * result code, which the session also keeps as its last result
 * (Zyl_SessionGetResult); a null session gives ZYL_ERR_FILE. Unlike the
 * classic calls, a session's settings stay as set across its connections
 * and selections. */

typedef struct ZylSession ZylSession;

/* The stage an operation is in, as a session's progress handler sees it. */
#define ZYL_STAGE_ERASE 1
#define ZYL_STAGE_PROGRAM 2
#define ZYL_STAGE_VERIFY 3
#define ZYL_STAGE_READ 4
#define ZYL_STAGE_BLANK_CHECK 5

/* Progress of a session's operation: the user pointer given with the
 * handler, the stage, and (done, total) byte counts. Called on the thread
 * that runs the operation. */
typedef void(ZYL_CALL *ZylSessionProgressHandler)(void* user, int32_t stage, int32_t done,
                                                  int32_t total);

/* One port of the machine, as Zyl_ListPorts finds it: its name ("COM1",
 * "LPT1"), its device path ("/dev/ttyUSB0", "/dev/parport0"; "" for a
 * parallel port the library reaches without one) and its kind
 * (ZYL_MODE_SERIAL or ZYL_MODE_PARALLEL). */
#define ZYL_PORT_LABEL_SIZE 16
typedef struct ZylPortInfo {
  char name[ZYL_PORT_LABEL_SIZE];
  char path[ZYL_PORT_NAME_SIZE];
  int32_t kind;
} ZylPortInfo;

/* One address where the chip and the image differed in the last verify or
 * blank check (the image byte of a blank check is FF). */
typedef struct ZylDifference {
  int32_t address;
  uint8_t chip;
  uint8_t image;
} ZylDifference;

/* Scans the machine's ports of that kind (ZYL_MODE_SERIAL,
 * ZYL_MODE_PARALLEL, or 0 for both, serial first) once: copies up to
 * capacity of them into list and sets *count to how many there are (more
 * than capacity when list was too short; list may be null with capacity
 * 0). 1 when count is null or the kind unknown. Touches no session. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_ListPorts(int32_t kind, ZylPortInfo* list, int32_t capacity,
                                          int32_t* count);

/* Makes a session with nothing selected into *session: 0, or 1 when
 * session is null. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionCreate(ZylSession** session);
/* Closes the session's connection, if it holds one, and frees it. The
 * session must not be in use on another thread. A null session is
 * ignored. */
ZYL_EXPORT void ZYL_CALL Zyl_SessionDestroy(ZylSession* session);

/* Selects the device of that name (any letter case) with a blank image
 * (every byte FF): 0, or ZYL_ERR_DEVICE_UNKNOWN (nothing selected then).
 * Closes a held connection first. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetDevice(ZylSession* session, const char* deviceName);
/* Selects a port by the name Zyl_ListPorts gives it ("COM2", "LPT1") or
 * by a serial device path ("/dev/ttyUSB0", which need not be in the
 * list). The ports are scanned once, here; the session keeps the path and
 * the kind found, which also sets the programmer kind. ZYL_ERR_PORT for a
 * name the scan does not know (the detail names the ports there are).
 * Closes a held connection first. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetPort(ZylSession* session, const char* portName);
/* Sets the progress handler and its user pointer; a null handler stops
 * the reports. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetProgressHandler(ZylSession* session,
                                                          ZylSessionProgressHandler handler,
                                                          void* user);

/* Opens the connection to the programmer and holds it until
 * Zyl_SessionClose; without a held connection each operation opens and
 * closes one of its own. ZYL_ERR_NOT_READY without a device and a port. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionOpen(ZylSession* session);
/* Closes a held connection; 0 also when none was held. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionClose(ZylSession* session);
/* The adapter's firmware version, copied into text (size bytes): 0, or
 * the code of the failure to reach the adapter; 1 when text is null or
 * too small. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionGetFirmwareVersion(ZylSession* session, char* text,
                                                          int32_t size);

/* Operations on the chip, with the session's image. Each returns 0 or the
 * code of the failure (the detail says more), ZYL_ERR_CANCELLED after a
 * stop request, ZYL_ERR_NOT_READY without a device and a port. */
/* Erases the whole chip. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionErase(ZylSession* session);
/* Writes the image into the chip. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionProgram(ZylSession* session);
/* Compares the chip with the image: ZYL_ERR_VERIFY when they differ (see
 * Zyl_SessionGetDifferences). */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionVerify(ZylSession* session);
/* Reads the chip into the image. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionRead(ZylSession* session);
/* Reads the chip and checks that every byte is FF, leaving the image as
 * it was: 0 when blank, ZYL_ERR_VERIFY with the bytes that are not as the
 * differences. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionBlankCheck(ZylSession* session);
/* Reads the status register into *status (SPI and DataFlash parts);
 * *status is left as it was on failure. ZYL_ERR_NOT_SUPPORTED for parts
 * without one, 1 when status is null. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionGetStatus(ZylSession* session, uint8_t* status);
/* Writes the status register (SPI parts); ZYL_ERR_NOT_SUPPORTED for parts
 * without one. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetStatus(ZylSession* session, uint8_t value);
/* Writes value into every location (Microwire parts);
 * ZYL_ERR_NOT_SUPPORTED for other parts. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionWriteAll(ZylSession* session, uint8_t value);

/* Settings. They reach the next operation, a held connection included. */
/* Write page and read block in bytes; 0 restores the device's own. 1 for
 * a size above the selected device's write page (the detail names it). */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetPageSize(ZylSession* session, int32_t size);
/* I2C control byte base (0xA0 until set). */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetBusAddress(ZylSession* session, uint8_t address);
/* Write-cycle time handed to the adapter; 0 restores the stored or the
 * device's time. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetWriteTime(ZylSession* session, uint8_t time);
/* Adapter clock setting for this session's connections; the stored
 * setting is not changed. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetSpeed(ZylSession* session, uint8_t speed);
/* Serial link: the bytes of commands sent ahead of their acknowledges
 * inside a pass, 0 to 4096; 0 sends each command only after the one before
 * it has been answered. The bytes on the wire are the same either way; a
 * window saves the port's round trip per command. Up to this many bytes
 * wait in the adapter while it works, so a window asks that much of its
 * receive buffer. Until set: ZYLISP_SERIAL_WINDOW, else 16 (one read
 * block's commands). 1 for a value out of range. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetSerialWindow(ZylSession* session, int32_t bytes);
/* The window the next operation uses; ZYL_ERR_PORT when
 * ZYLISP_SERIAL_WINDOW is not a number from 0 to 4096 (the detail says so). */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionGetSerialWindow(ZylSession* session, int32_t* bytes);
/* Microwire organisation: 8 or 16 bits per location (8 until set); 1 for
 * any other value. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetOrganisation(ZylSession* session, uint8_t bits);
/* Reset polarity handed to the adapter when it connects. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetResetPolarity(ZylSession* session, uint8_t polarity);
/* As Zyl_SetIgnoreChecksums, for this session's loads and checks. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSetIgnoreChecksums(ZylSession* session, uint8_t ignore);

/* The image and data files. */
/* Blanks the image, then loads the data file into it (its format found
 * from its content): as Zyl_LoadBuffer, with ZYL_ERR_NOT_READY without a
 * device and ZYL_ERR_FILE_TOO_LARGE for data beyond the device. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionLoadFile(ZylSession* session, const char* fileName);
/* Saves the image in that format (ZYL_FMT_...), replacing a file of that
 * name atomically. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionSaveFile(ZylSession* session, const char* fileName,
                                                uint8_t format);
/* As Zyl_CheckFile, with this session's device and checksum rule. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionCheckFile(ZylSession* session, const char* fileName,
                                                 uint8_t forWriting);
/* The image's size in bytes (the device's size) into *size; 0 without a
 * device. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionGetImageSize(ZylSession* session, int32_t* size);
/* Copies length bytes of the image from offset into buffer, or from
 * buffer into the image. ZYL_ERR_OUTSIDE_BUFFER when offset and length
 * do not lie inside the image (nothing is copied), ZYL_ERR_NOT_READY
 * without a device, 1 when buffer is null or length negative. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionReadImage(ZylSession* session, int32_t offset,
                                                 uint8_t* buffer, int32_t length);
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionWriteImage(ZylSession* session, int32_t offset,
                                                  const uint8_t* buffer, int32_t length);
/* Sets every byte of the image to FF. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionClearImage(ZylSession* session);
/* The differences of the last verify or blank check, in address order:
 * copies up to capacity of them into list and sets *count to how many
 * there are (0 after one that passed, before any, and after the image or
 * the device changed). 1 when count is null. Not recorded. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionGetDifferences(ZylSession* session, ZylDifference* list,
                                                      int32_t capacity, int32_t* count);

/* Results and stopping. None of these is recorded. */
/* The code the session's last call returned. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionGetResult(ZylSession* session);
/* The text of that code (as Zyl_GetLastError gives it). */
ZYL_EXPORT const char* ZYL_CALL Zyl_SessionGetResultText(ZylSession* session);
/* What that failure was about, "" when there is nothing to add (as
 * Zyl_GetErrorDetail). */
ZYL_EXPORT const char* ZYL_CALL Zyl_SessionGetErrorDetail(ZylSession* session);
/* Asks the session's running operation to stop at its next page or block
 * boundary, as Zyl_RequestStop does for all; safe from another thread and
 * from a signal handler. A request made while the session runs nothing is
 * forgotten when its next operation starts. */
ZYL_EXPORT void ZYL_CALL Zyl_SessionRequestStop(ZylSession* session);

/* Parts. Every part the library knows: the 51 of the device enumeration
 * first (Zyl_GetDeviceCount and Zyl_GetDevice list only those), then modern
 * I2C and SPI EEPROMs, Microwire parts of fixed organisation, SPI NOR flash
 * and DataFlash. Zyl_SetDevice, Zyl_InitProgrammer, Zyl_GetDeviceInfo and
 * Zyl_SessionSetDevice take a part's name or any of its aliases (the
 * markings of other makers), in any letter case. */
#define ZYL_FAMILY_I2C_EEPROM 0
#define ZYL_FAMILY_SPI_EEPROM 1
#define ZYL_FAMILY_MICROWIRE 2
#define ZYL_FAMILY_SPI_FLASH 3
#define ZYL_FAMILY_DATAFLASH 4
#define ZYL_BUS_DATAFLASH 3
#define ZYL_PART_NAME_SIZE 24
#define ZYL_PART_ALIASES_SIZE 96
typedef struct ZylPartInfo {
  char name[ZYL_PART_NAME_SIZE];
  char aliases[ZYL_PART_ALIASES_SIZE]; /* ", " between them; "" for none */
  int32_t family;                      /* ZYL_FAMILY_... */
  int32_t busKind;                     /* ZYL_BUS_... */
  int32_t size;                        /* bytes */
  int32_t pageSize;                    /* write page in bytes */
  int32_t addressBytes;                /* on the bus */
  uint32_t jedecId;                    /* maker << 16 | type << 8 | capacity; 0: none */
  int32_t eraseSizes[4];               /* erase blocks in bytes, smallest first; 0: none */
  int32_t organisation;                /* Microwire: 8 or 16 when fixed, else 0 */
} ZylPartInfo;

/* Copies up to capacity parts, in table order, into list and sets *count to
 * how many there are (list may be null with capacity 0). 1 when count is
 * null. Touches no session. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_ListParts(ZylPartInfo* list, int32_t capacity, int32_t* count);

/* Detection. An SPI flash names itself: its JEDEC ID, and the SFDP table
 * that most parts made since 2011 carry. EEPROMs and Microwire parts have
 * neither; of an I2C part only the bus addresses that acknowledge can be
 * found. */
#define ZYL_DETECT_TEXT_SIZE 256
typedef struct ZylDetection {
  uint32_t jedecId;   /* 0 when no SPI flash answers */
  int32_t sfdp;       /* 1 when the part gave a valid SFDP table */
  int32_t size;       /* bytes, of the part(s) named; 0 when unknown */
  int32_t candidates; /* parts named in names */
  /* The parts the ID belongs to (", " between them), or the part made from
   * the SFDP table ("SFDP MMTTCC", selectable by that name in this process
   * with Zyl_SetDevice or Zyl_SessionSetDevice). */
  char names[ZYL_DETECT_TEXT_SIZE];
  int32_t i2cCount;          /* I2C bus addresses that acknowledge ... */
  uint8_t i2cAddresses[8];   /* ... 0x50 to 0x57 */
  char text[ZYL_DETECT_TEXT_SIZE]; /* what was found, as a sentence */
} ZylDetection;

/* Asks the chip on the selected port what it is (no device needs to be
 * selected; the selection is not changed). 0 when an SPI flash answered;
 * ZYL_ERR_DEVICE_UNKNOWN when none did (text and the error detail say what
 * can and cannot be detected, and which I2C addresses acknowledge); the
 * connection's failures as the other operations give them. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_Detect(ZylDetection* found);
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionDetect(ZylSession* session, ZylDetection* found);
/* SPI flash: clears every block-protection bit of every status register
 * (BP, TB, SEC, CMP as the part has them), then reads them back. 0, or
 * ZYL_ERR_WRITE_PROTECTED naming the bits that stay set (one-time
 * programmable bits, the WP pin), ZYL_ERR_NOT_SUPPORTED for a part that is
 * not a flash. */
ZYL_EXPORT int32_t ZYL_CALL Zyl_Unprotect(void);
ZYL_EXPORT int32_t ZYL_CALL Zyl_SessionUnprotect(ZylSession* session);

#ifdef __cplusplus
}
#endif

#endif /* ZYLISP_H */
