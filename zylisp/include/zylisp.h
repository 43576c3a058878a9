/*
 * zylisp: drives the in-system programmer adapter for serial EEPROMs
 * (I2C 24-series, SPI 25-series, Microwire 93-series) on a parallel or a
 * serial port.
 *
 * Every function returns a result code unless its comment says otherwise;
 * Zyl_GetLastError gives the text of the last recorded one. Texts returned by
 * the library stay valid until the next call of the same function. Byte
 * arguments are uint8_t: only their low 8 bits count. One caller at a time.
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

#ifdef __cplusplus
}
#endif

#endif /* ZYLISP_H */
