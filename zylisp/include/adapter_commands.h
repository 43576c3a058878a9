/* Command and reply bytes of the programmer adapter's firmware protocol.
 * The one thing the host drivers and the adapter emulator share. */
#ifndef ZYLISP_ADAPTER_COMMANDS_H
#define ZYLISP_ADAPTER_COMMANDS_H

#include <stdint.h>

#ifdef __cplusplus
namespace adapter {
#define ZYL_ADAPTER_CONST constexpr uint8_t
#else
#define ZYL_ADAPTER_CONST static const uint8_t
#endif

ZYL_ADAPTER_CONST kCmdBeginPass = 0x25;     /* '%' */
ZYL_ADAPTER_CONST kCmdEndPass = 0x24;       /* '$' */
ZYL_ADAPTER_CONST kCmdSelectBus = 0x4D;     /* 'M' + two hex digits */
ZYL_ADAPTER_CONST kCmdDeviceWait = 0x5A;    /* 'Z' */
ZYL_ADAPTER_CONST kCmdBusStart = 0x58;      /* 'X' */
ZYL_ADAPTER_CONST kCmdBusStop = 0x78;       /* 'x' */
ZYL_ADAPTER_CONST kCmdBusWrite = 0x77;      /* 'w' + raw byte */
ZYL_ADAPTER_CONST kCmdBusRead = 0x72;       /* 'r' -> raw byte */
ZYL_ADAPTER_CONST kCmdWriteBytes = 0x57;    /* 'W' + count + data */
ZYL_ADAPTER_CONST kCmdReadBytes = 0x52;     /* 'R' + count -> data */
ZYL_ADAPTER_CONST kCmdWriteTime = 0x44;     /* 'D' + two hex digits */
ZYL_ADAPTER_CONST kCmdClock = 0x45;         /* 'E' + two hex digits */
ZYL_ADAPTER_CONST kCmdResetPolarity = 0x50; /* 'P' + two hex digits */
ZYL_ADAPTER_CONST kCmdVersion = 0x76;       /* 'v' -> 4 characters */
ZYL_ADAPTER_CONST kCmdIdentity = 0x53;      /* 'S' -> 9 characters */
ZYL_ADAPTER_CONST kCmdSync = 0x2A;          /* '*' serial synchronisation */
ZYL_ADAPTER_CONST kCmdFlashWrite = 0x48;    /* 'H' + addr(3) + len(2) + data */
ZYL_ADAPTER_CONST kCmdFlashStatus = 0x47;   /* 'G' */
ZYL_ADAPTER_CONST kCmdFlashRead = 0x49;     /* 'I' + addr(3) + len(2) -> data */
ZYL_ADAPTER_CONST kCmdFlashErase = 0x4B;    /* 'K' + block(2) */

ZYL_ADAPTER_CONST kAcknowledge = 0x0D;      /* CR: command done */
ZYL_ADAPTER_CONST kErrorIntroducer = 0x3F;  /* '?' followed by a code */
ZYL_ADAPTER_CONST kEcho = 0x2A;             /* shifted back while receiving */

ZYL_ADAPTER_CONST kErrUnknownCommand = 0x21;  /* '!' */
ZYL_ADAPTER_CONST kErrBadNumber = 0x23;       /* '#' */
ZYL_ADAPTER_CONST kErrBlankCheck = 0x25;      /* '%' */
ZYL_ADAPTER_CONST kErrMicrowire = 0x4D;       /* 'M' */
ZYL_ADAPTER_CONST kErrBusyTimeout = 0x54;     /* 'T' */
ZYL_ADAPTER_CONST kErrVerify = 0x56;          /* 'V' */
ZYL_ADAPTER_CONST kErrMicrowireSync = 0x6D;   /* 'm' */

#undef ZYL_ADAPTER_CONST
#ifdef __cplusplus
}  /* namespace adapter */
#endif

#endif
