/*
 * libvkkrn: reader handles and port plug-ins of the KRN reader protocol library.
 *
 * Every function returns 0 or more on success (a handle, a count or a status)
 * and a negative code from -4000 to -4099 on failure; VKKRN_GetErrorText turns a
 * code into an English or German (ISO 8859-1) text, and passes codes of the port
 * libraries (-1000 to -1299) to the port library that made them.
 *
 * Reader handles count up from 1 and wrap to 1 past 0x0FFFFFFF; a handle still
 * in use is skipped after the wrap. Every function that takes a reader handle
 * checks it in this order and stores the code as the library's last error:
 * below 0 -4022, 0 -4021, a null pointer the function needs -4002, no reader at
 * all -4001, no reader with that handle -4023 (the reader commands test their
 * pointers before the handle: see "Reader commands"). The reader's own last
 * error (VKKRN_GetLastError) is left alone by these checks.
 *
 * A reader deleted while another thread is inside a call on it lives until that
 * call returns.
 */
#ifndef VKKRN_H
#define VKKRN_H

#define VKKRN_API __attribute__((visibility("default")))

/* Port handle of a reader whose port is served by an installed plug-in. */
#define VKKRN_PLUGIN 0x70000001

#ifdef __cplusplus
class VKKRN_PlugIn;
extern "C" {
#else
typedef struct VKKRN_PlugIn VKKRN_PlugIn;
#endif

/* Creates a reader for a port handle of libvkcom (serial), libvkusb (USB),
 * libvktcp (TCP) or VKKRN_PLUGIN. Any other handle, or a handle with running
 * number 0, gives a reader without a port. The port library is not asked
 * whether it knows the handle: a stale handle fails later with its code.
 * Returns the reader handle, -4024 for a negative port handle, -4000 when the
 * reader cannot be made. */
VKKRN_API int VKKRN_NewReader(int portHnd);

/* Deletes a reader: removes its port plug-in and its TCP disconnection handler. */
VKKRN_API int VKKRN_DeleteReader(int readerHnd);

/* 0 gives the first reader's handle (-4001 without readers), a handle the next
 * one in creation order, 0 after the last; -4020 for a handle not listed, -4022
 * for a negative one. */
VKKRN_API int VKKRN_GetReaderList(int readerHnd);

/* Writes "07.04.01" and a terminator (9 bytes). */
VKKRN_API void VKKRN_GetDLLVersion(char* version);

/* Writes the text of `code` in the library's language; `text` must hold 256
 * bytes. Returns 0, -4053 for a code without a text of its own (a text is still
 * written), -4002 for a null `text`. */
VKKRN_API int VKKRN_GetErrorText(int code, char* text);

/* The reader's last error and its text (as VKKRN_GetErrorText). */
VKKRN_API int VKKRN_GetLastError(int readerHnd, int* code, char* text);

/* Loads a plug-in library (a path below 256 characters, else -4051) and creates
 * its plug-in through "CreatePlugIn". -4002 for a null argument, -4068 when the
 * library cannot be opened, -4067 when it has no "CreatePlugIn", or it fails or
 * makes no object (the library is closed again). On success the library stays
 * loaded and the plug-in belongs to the caller until it is installed. */
VKKRN_API int VKKRN_PI_Get(const char* libName, VKKRN_PlugIn** plugIn);

/* Installs a plug-in on a reader created with VKKRN_PLUGIN or without a port
 * (-4054 on serial, USB and TCP readers, -4061 when the reader, or any other
 * reader, already holds this or another plug-in, -4062 for an unknown origin);
 * runs its `init` and returns that result (a negative one refuses). */
VKKRN_API int VKKRN_PI_Install(int readerHnd, VKKRN_PlugIn* plugIn);

/* Removes the installed plug-in: `cleanup`, then its release (origin 1: the
 * library's "ReleasePlugIn" with the release value, then its library handle is
 * closed; -4069 when that entry point cannot be found, the plug-in then stays
 * installed). -4060 when none is installed. */
VKKRN_API int VKKRN_PI_Remove(int readerHnd);

/* Run the matching slot of the reader's plug-in (-4060 when it has none); the
 * pointers are handed on as given. A positive VKKRN_PI_OpenPort result becomes
 * the plug-in's port handle; VKKRN_PI_GetDLLVersion always returns 0. On
 * serial, USB and TCP readers the port parameters reach the port library. */
VKKRN_API int VKKRN_PI_OpenPort(int readerHnd, char* para);
VKKRN_API int VKKRN_PI_ClosePort(int readerHnd);
VKKRN_API int VKKRN_PI_GetPortPara(int readerHnd, char* key, char* value);
VKKRN_API int VKKRN_PI_SetPortPara(int readerHnd, char* key, char* value);
VKKRN_API int VKKRN_PI_GetDLLVersion(int readerHnd, char* version);
VKKRN_API int VKKRN_PI_GetErrorText(int readerHnd, int code, char* text);

/* ---- Frames -------------------------------------------------------------
 * Host-protocol frames: standard [LEN][ADR][CMD](STATUS)[data][CRC lo][CRC hi]
 * for up to 250 request or 249 reply data bytes, advanced
 * [0x02][LEN hi][LEN lo][ADR][CMD](STATUS)[data][CRC lo][CRC hi] for up to 65,528
 * request or 65,527 reply data bytes; the reader's FRAMESUPPORT "ADVANCED" gives
 * advanced frames for any length. CRC16: reflected polynomial 0x8408, preset
 * 0xFFFF; over a whole frame including its CRC it gives 0.
 *
 * Frame exports check the reader handle (below 0 -4022, 0 -4021), their pointer
 * arguments (-4002), the reader list (-4001, -4023), then their length (outside 0
 * to 65,537: -4051), each stored as the library's last error. They then take the
 * reader's command lock, so they wait for a command of the same reader; event
 * handlers and plug-in slots run under that lock and must not call them for
 * their own reader.
 *
 * Data formats of VKKRN_BuildSendProtocol and VKKRN_SplitRecProtocol: 0 bytes,
 * 1 hex text, 10 bytes with capture (the frame becomes the reader's last frame
 * and goes to the protocol log and the protocol events), 11 hex text with
 * capture, 20 bytes never wrapped; any other value: -4051. While the reader has
 * an authenticated channel, formats 0, 1, 10 and 11 wrap a request in command
 * 0xAF and unwrap a reply to it. Hex text is two hex digits per byte; odd or
 * other text: -4051. */

/* The CRC16 of len bytes (the preset 0xFFFF for len 0 or less); swap not 0
 * exchanges its two bytes. -4002 for null data with len above 0. */
VKKRN_API int VKKRN_CalcCRC16CheckSum_T(void* data, int len, int swap);
/* The same bit by bit with the caller's reflected polynomial and preset (16
 * bits each). */
VKKRN_API int VKKRN_CalcCRC16CheckSum(unsigned char* data, int len, unsigned int poly, unsigned int preset,
                                      int swap);

/* Builds a request frame into `frame` (frame length + 1 bytes: a zero byte
 * follows), always as bytes; returns its length. */
VKKRN_API int VKKRN_BuildSendProtocol(int readerHnd, int adr, int cmd, unsigned char* data, int len,
                                      unsigned char* frame, int format);
/* Builds a reply frame; hex not 0 reads the data as hex text. */
VKKRN_API int VKKRN_BuildRecProtocol(int readerHnd, int adr, int cmd, int status, unsigned char* data,
                                     int len, unsigned char* frame, int hex);
/* Checks a request frame and hands out its parts: 0, -4030 (length), -4031
 * (CRC). hex not 0 reads the frame as hex text; hex 1 also writes the data as
 * hex text (dataLen doubled). Nothing is written on failure. */
VKKRN_API int VKKRN_SplitSendProtocol(int readerHnd, unsigned char* frame, int len, unsigned char* adr,
                                      unsigned char* cmd, unsigned char* data, int* dataLen, int hex);
/* Checks a reply frame and hands out its parts: the STATUS byte, or -4030,
 * -4031, a cipher code. Format 1 also writes the data as hex text (dataLen
 * doubled). A reply to 0xAF with status 0x82 ends the authenticated channel. */
VKKRN_API int VKKRN_SplitRecProtocol(int readerHnd, unsigned char* frame, int len, unsigned char* adr,
                                     unsigned char* cmd, unsigned char* data, int* dataLen, int format);
/* Convert a request or reply frame in place to the other form: the new length,
 * or -4002, -4030, -4031, -4051; no trailing zero is written. Conv2Std takes up
 * to 255 bytes and advanced frames of at most 255 bytes; Conv2Adv takes up to
 * 65,536 bytes and needs room for two more. Neither keeps a last error. */
VKKRN_API int VKKRN_Conv2StdProtocol(unsigned char* frame, int len);
VKKRN_API int VKKRN_Conv2AdvProtocol(unsigned char* frame, int len);

/* ---- Last frames and texts ------------------------------------------------ */

/* The reader's last sent (received) frame as bytes or, hex not 0, hex text,
 * followed by a zero; key bytes of 0xA2, 0xA3, 0xAD and 0xB2 requests read
 * 0xFF. Returns the frame length in bytes; 0 without a frame. */
VKKRN_API int VKKRN_GetLastSendProt(int readerHnd, unsigned char* prot, int hex);
VKKRN_API int VKKRN_GetLastRecProt(int readerHnd, unsigned char* prot, int hex);
/* Returns the last status byte and writes its text (69 bytes). */
VKKRN_API int VKKRN_GetLastState(int readerHnd, char* text);
/* The length of the last received frame: a standard one's, an advanced one's
 * plus 1; -4010 without one. */
VKKRN_API int VKKRN_GetLastRecProtLen(int readerHnd);
/* Writes the text of a reader status byte in the library's language (69 bytes,
 * ISO 8859-1): 0, -4033 for a byte without a text (a text naming it is written),
 * -4002 for a null text. */
VKKRN_API int VKKRN_GetStatusText(unsigned char status, char* text);

/* ---- Parameters ------------------------------------------------------------
 * Keys are case-blind and shorter than 128 characters (-4051). Numbers read
 * like atoi; a switch is on only for a value reading 1. Unknown keys -4050.
 * Library keys (any handle of 0 or more): LANGUAGE "7" or "9" (-4051 else),
 * LOCKPROTTOAPP and UNLOCKPROTTOAPP (set, clear every reader's stop flag, which
 * silences its protocol log and events), ISPROTTOAPPLOCKED (get: 1 when no reader
 * is writing a log line or delivering an event, else 0; value not written).
 * Reader keys: PORTHND, LOGPROT, LOGFILE, LOGLEVEL (set only), LOGFILENAME (256
 * characters), SENDPROTTOAPP, BUSYTO (0-60), REPCNT (1-99), CHKRECBUSADR,
 * CONVHEXTOSTRING, FRAMESUPPORT ("STANDARD", "ADVANCED"; -4056 while locked by an
 * authentication), and read-only SENDSTR, RECSTR (-4010 before any frame),
 * ERRCODE, RECBUSADR, ERRSTR, USBGENERATION. SENDSTR and RECSTR write a protocol
 * line of up to 197,123 bytes: size `value` for it. PORTHND "0" leaves the port
 * plug-in on its earlier port. */
VKKRN_API int VKKRN_SetReaderPara(int readerHnd, const char* key, const char* value);
VKKRN_API int VKKRN_GetReaderPara(int readerHnd, const char* key, char* value);

/* ---- Transparent exchange ------------------------------------------------
 * The caller's own frame: [LEN][ADR][CMD]... (first byte 5 or more) or
 * [0x02][LEN hi][LEN lo][ADR][CMD]...; hex not 0 reads it as hex text ("%02x"
 * pairs; odd or other text: -4052) and writes the reply as "%02X" text with a
 * closing zero; crc 1 appends the CRC16 (low byte first) on serial, TCP and
 * second-generation USB ports (VKKRN_Transmit: on every port). Checks in this
 * order, each stored as the library's last error: handle (-4022, -4021), null
 * pointer -4002, a length outside 0 to 65,537 -4051, no reader -4001, unknown
 * handle -4023. A length of 0 then gives -4051 from the reader. While the reader
 * has an authenticated channel the frame travels wrapped in 0xAF. */

/* Sends the frame and reads one reply frame into rx: its length in bytes
 * (doubled for hex text), 0 when the port returned no byte, or a negative code:
 * -4030 a frame too short for its bus address and command, -4031 reply CRC,
 * -4035 reply for another command, -4037 reply from another bus address while
 * CHKRECBUSADR is 1 (requests to 254 and 255 take any), -4070 a reply larger
 * than rxSize (hex: 2 x length + 1), port and cipher codes as they came. */
VKKRN_API int VKKRN_SendTransparent(int readerHnd, unsigned char* tx, int txLen, unsigned char* rx,
                                    int rxSize, int crc, int hex);
/* Sends the frame without waiting; returns the port's result (0 or more, or its
 * code) and leaves the reader's last error alone for it. */
VKKRN_API int VKKRN_Transmit(int readerHnd, unsigned char* tx, int txLen, int crc, int hex);
/* Waits for one frame without sending and returns it whole, CRC included; its
 * command byte and bus address are not compared. On the authenticated channel a
 * 0xAF reply without an inner frame gives -4030 (stored as the reader's last
 * error), as it does for every exchange: the two ends are out of step. */
VKKRN_API int VKKRN_Receive(int readerHnd, unsigned char* rx, int rxSize, int hex);

/* ---- Transponder and transparent commands --------------------------------
 * Each sends its command to the reader at bus address `adr` with the leading or
 * parameter bytes and the caller's request as its data, and hands back the
 * reply data. Returns the reader's status byte (0 or more; a status above 0 still
 * hands back the data that came with it) or a negative code.
 *
 * Checks in this order, each stored as the library's last error: a null
 * request, reply or reply length (0xC1: also its field) -4002, before the
 * handle; then the handle (-4022, -4021, -4001, -4023). A command called from
 * an event handler of its own reader gets -4032.
 *
 * format: the request is hex text only with 1 (pairs of hex digits of either
 * case, an odd last digit alone: "123" gives 12 03; len counts characters;
 * another character -4052); the reply is bytes only with 0. So 0 is bytes both
 * ways, 1 hex text both ways, any other value bytes in and hex text out.
 * 0xFE, 0xBB and 0xC0 take and give bytes.
 *
 * The reply buffer must hold, for L reply data bytes (L up to 65,527): L + 1
 * bytes as bytes (the data and a zero), 2L + 1 as hex text ("%02X" per byte and
 * a zero). *replyLen receives L, or 2L for hex text; it is 0 on every failure,
 * and the buffer is then untouched.
 *
 * More than 65,528 request bytes (after hex conversion, leading and parameter
 * bytes included) or a negative length: -4051, nothing sent. On a
 * first-generation USB reader 0xB0, 0xB1, 0xB2, 0xB5 and 0xBD-0xBF go out in that
 * reader's compact form; 0xB3, 0xB4, 0xBB and 0xC0-0xC3 give -4006, and 0xFE
 * gives -4006 on every USB reader; nothing is sent then. */

/* ISO commands 0xB0 and 0xB2, EPC command 0xB3: the request alone. */
VKKRN_API int VKKRN_0xB0_ISOCmd(int readerHnd, unsigned char adr, unsigned char* request, int len,
                                unsigned char* reply, int* replyLen, int format);
VKKRN_API int VKKRN_0xB2_ISOCmd(int readerHnd, unsigned char adr, unsigned char* request, int len,
                                unsigned char* reply, int* replyLen, int format);
VKKRN_API int VKKRN_0xB3_EPCCmd(int readerHnd, unsigned char adr, unsigned char* request, int len,
                                unsigned char* reply, int* replyLen, int format);
/* 0xB1, 0xB5 (ISO custom and proprietary) and 0xB4 (EPC UHF): the leading byte,
 * then the request. */
VKKRN_API int VKKRN_0xB1_ISOCustAndPropCmd(int readerHnd, unsigned char adr, unsigned char lead,
                                           unsigned char* request, int len, unsigned char* reply,
                                           int* replyLen, int format);
VKKRN_API int VKKRN_0xB5_ISOCustAndPropCmd(int readerHnd, unsigned char adr, unsigned char lead,
                                           unsigned char* request, int len, unsigned char* reply,
                                           int* replyLen, int format);
VKKRN_API int VKKRN_0xB4_EPC_UHF_Cmd(int readerHnd, unsigned char adr, unsigned char lead,
                                     unsigned char* request, int len, unsigned char* reply, int* replyLen,
                                     int format);
/* 0xFE, raw transceive: the request bytes as they are. */
VKKRN_API int VKKRN_0xFE_Transceive(int readerHnd, unsigned char adr, unsigned char* request, int len,
                                    unsigned char* reply, int* replyLen);
/* 0xBB, EPC Class-1 Generation-2 transparent command: b1, b2, b3, the low 16 bits
 * of value1 and of value2 (high byte first; higher bits are dropped), then the
 * request. */
VKKRN_API int VKKRN_0xBB_C1G2_TranspCmd(int readerHnd, unsigned char adr, unsigned char b1, unsigned char b2,
                                        unsigned char b3, unsigned int value1, unsigned int value2,
                                        unsigned char* request, unsigned int len, unsigned char* reply,
                                        unsigned int* replyLen);
/* 0xBD, 0xBE, 0xBF, ISO transparent commands: the low byte of mode, the low 16
 * bits of value (high byte first), then the request. */
VKKRN_API int VKKRN_0xBD_ISOTranspCmd(int readerHnd, unsigned char adr, int mode, int value,
                                      unsigned char* request, int len, unsigned char* reply, int* replyLen,
                                      int format);
VKKRN_API int VKKRN_0xBE_ISOTranspCmd(int readerHnd, unsigned char adr, int mode, int value,
                                      unsigned char* request, int len, unsigned char* reply, int* replyLen,
                                      int format);
VKKRN_API int VKKRN_0xBF_ISOTranspCmd(int readerHnd, unsigned char adr, int mode, int value,
                                      unsigned char* request, int len, unsigned char* reply, int* replyLen,
                                      int format);
/* 0xC0, SAM command, waiting for its reply: the low bytes of slot and timeout,
 * then the request. While it runs, the port's "Timeout" is 100 x timeout ms
 * (serial, TCP and USB ports; a value the port refuses leaves its time-out as it
 * was); the earlier value is restored afterwards, whatever the exchange gave. */
VKKRN_API int VKKRN_0xC0_SAMCmd_Sync(int readerHnd, unsigned char adr, int slot, int timeout,
                                     unsigned char* request, int len, unsigned char* reply, int* replyLen);
/* 0xC1, DESFire command: b1, b2, the three bytes of field (with format 1 six hex
 * characters; another character -4052), b4, then the request. */
VKKRN_API int VKKRN_0xC1_DESFireCmd(int readerHnd, unsigned char adr, unsigned char b1, unsigned char b2,
                                    unsigned char* field, unsigned char b4, unsigned char* request, int len,
                                    unsigned char* reply, int* replyLen, int format);
/* 0xC2, MIFARE Plus command, and 0xC3, DESFire command: b1, b2, then the request. */
VKKRN_API int VKKRN_0xC2_MifarePlusCmd(int readerHnd, unsigned char adr, unsigned char b1, unsigned char b2,
                                       unsigned char* request, int len, unsigned char* reply, int* replyLen,
                                       int format);
VKKRN_API int VKKRN_0xC3_DESFireCmd(int readerHnd, unsigned char adr, unsigned char b1, unsigned char b2,
                                    unsigned char* request, int len, unsigned char* reply, int* replyLen,
                                    int format);

/* ---- Event handlers ---------------------------------------------------------
 * Events: 2 request frame sent (protocol text), 3 reply received (protocol text;
 * value: status or code), 4 scan data (bytes), 5 request frame (bytes), 6 reply
 * frame (bytes; value: status), 101 error (text; value: the code), 102 request
 * frame as "%02X " text for the application (while SENDPROTTOAPP is 1). Texts
 * are zero-terminated, ISO 8859-1.
 * uiUse selects: 1 events 2, 3, 101; 2 events 2, 101; 3 events 3, 101; 4, 5, 6,
 * 101 and 102 that event alone; any other value nothing.
 * Handlers run on the thread that raises the event, in registration order,
 * under the reader's locks: a handler that calls a command, VKKRN_Add... or
 * VKKRN_Del... for its own reader gets -4032. After VKKRN_DelEventHandler
 * returns, the handler is never called again. */

typedef void (*VKKRN_EventCallback6)(void* pAny, unsigned char* data, int value);
typedef void (*VKKRN_EventCallback7)(void* pAny, unsigned char* data, int value, int eventId);

/* The callback of a handler record, of the form its uiFlag names. */
typedef union _VKKRN_EVENT_CALLBACK {
    VKKRN_EventCallback6 form6;
    VKKRN_EventCallback7 form7;
} VKKRN_EVENT_CALLBACK;

typedef struct _VKKRN_EVENT_INIT {
    void* pAny;                    /* first argument of the callback */
    unsigned int uiUse;            /* the events wanted, as above */
    unsigned int uiMsg;            /* not read */
    unsigned int uiFlag;           /* 6 or 7: the callback form; 3: kept, never called */
    VKKRN_EVENT_CALLBACK callback; /* compared by its address */
} _VKKRN_EVENT_INIT;

/* Registers a handler: 0 (also when the same uiFlag, uiUse and callback are
 * registered: nothing is added, pAny is not compared), -4054 for uiFlag 1, 2, 4
 * or 5, for uiUse 4 on a USB or TCP reader and for uiUse 4 with uiFlag 7, -4050
 * for another uiFlag, -4003 without memory. uiUse 4 starts the reader's scan
 * thread, which hands what a reader in scan mode sends unasked to the handler
 * as event 4 (value: the length; hex text "%02X " per byte while
 * CONVHEXTOSTRING is 1): -4080 while one runs, -4081 when it cannot start
 * (nothing is registered then). While it runs the serial port's "Timeout" is
 * "10" and "UseNUBO" "0"; removing the handler stops the thread and puts them
 * back. */
VKKRN_API int VKKRN_AddEventHandler(int readerHnd, _VKKRN_EVENT_INIT* record);
/* Removes the first handler with the same uiFlag, uiUse and callback: 0, or
 * -4050 when there is none; flags refused as when adding. */
VKKRN_API int VKKRN_DelEventHandler(int readerHnd, _VKKRN_EVENT_INIT* record);

/* ---- Reader commands --------------------------------------------------------
 * One function per reader command: the reader handle, the bus address (0 to
 * 255; 254 and 255 reach any reader), then the command's arguments. Byte
 * arguments arrive as int and are cut to their low eight bits. Each returns the
 * reader's status byte (0 OK, above 0 a condition the reader reports; its reply
 * data are still handed out) or a negative code.
 *
 * Checks, in this order and before anything is sent: a null pointer the
 * function names -4002 (whatever the handle), then the handle as above (-4022,
 * -4021, -4001, -4023); each stored as the library's last error. Once a reader
 * was reached the library's last error is 0 and the reader's last error
 * (VKKRN_GetLastError) holds the command's code. Then, under the reader's command
 * lock: -4032 from a handler of the same reader; -4006 on a first-generation USB
 * reader for a command it does not take (an error line, event 101, is written);
 * -4051 for a bad argument or a request longer than 65,528 bytes, -4052 for hex
 * text that is not two hex digits per byte (nothing sent for either).
 *
 * Data formats: 0 raw bytes, 1 hex text. Input is read as hex text (two digits
 * per byte, either case) only for format 1; output is raw only for format 0,
 * otherwise "%02X" text. Outputs end with a NUL unless said otherwise; sizes
 * below are what the caller's buffer must hold. Outputs named "preset" are
 * written first, even when the command then fails. */

/* Destroys a transponder: mode 0 sends 12 identifier bytes (8 and four 0x00 when
 * identifier[0] is 0x40 or more), mode 1 19; then 3 code bytes. Another mode: -4051.
 * Null test: identifier, code. */
VKKRN_API int VKKRN_0x18_Destroy(int readerHnd, int adr, int mode, unsigned char* identifier,
                                 unsigned char* code);
/* Halts the selected transponder. */
VKKRN_API int VKKRN_0x1A_Halt(int readerHnd, int adr);
/* Resets the quiet bit of the transponders in the field. */
VKKRN_API int VKKRN_0x1B_ResetQuietBit(int readerHnd, int adr);
/* EAS request. */
VKKRN_API int VKKRN_0x1C_EASRequest(int readerHnd, int adr);
/* Sends b1..b5 and count data bytes; the whole reply to out with a NUL (up to
 * 65,538 bytes), its length to outLength. A null out or outLength is skipped.
 * A count below 0 or above 65,523: -4051.
 * Null test: data. */
VKKRN_API int VKKRN_0x1E_TableDataExchange(int readerHnd, int adr, int b1, int b2, int b3, int b4, int b5,
                                           unsigned char* data, int count, unsigned char* out,
                                           int* outLength);
/* Sends b1..b3 and the data: count bytes, or for format 1 count hex characters
 * (count/2 bytes). The whole reply to out, raw (outLength = L, 65,538 bytes) or
 * hex (2L, 131,075 bytes). A null out or outLength is skipped.
 * Null test: data. */
VKKRN_API int VKKRN_0x1F_MAXDataExchange(int readerHnd, int adr, int b1, int b2, int b3, unsigned char* data,
                                         int count, unsigned char* out, int* outLength, int format);
/* Reads data-buffer records. Preset: *head 0, *count 0, out[0] '0'. Reply: head
 * and count bytes; when count is not 0 the records to out, raw/hex (the whole
 * reply: 65,536 bytes, hex 131,071).
 * Null test: head, count, out. */
VKKRN_API int VKKRN_0x21_ReadBuffer(int readerHnd, int adr, int b, unsigned char* head, unsigned char* count,
                                    unsigned char* out, int format);
/* Reads up to `number` records (low 16 bits sent). head: 2 bytes (the second only
 * when bit 7 of the first is set); count 0 to 65,535; the records to out, raw/hex
 * (sized as for 0x21). Preset: head[0] 0, *count 0, out[0] '0'.
 * Null test: head, count, out. */
VKKRN_API int VKKRN_0x22_ReadBuffer(int readerHnd, int adr, int number, unsigned char* head, int* count,
                                    unsigned char* out, int format);
/* Data-buffer information: two reply bytes to each output (raw 3 bytes, hex 5
 * characters with the NUL). Preset: '0' in each.
 * Null test: first, second, third. */
VKKRN_API int VKKRN_0x31_ReadDataBufferInfo(int readerHnd, int adr, unsigned char* first,
                                            unsigned char* second, unsigned char* third, int format);
/* Clears the data buffer. */
VKKRN_API int VKKRN_0x32_ClearDataBuffer(int readerHnd, int adr);
/* Initialises the data buffer. */
VKKRN_API int VKKRN_0x33_InitBuffer(int readerHnd, int adr);
/* Forces a notification. */
VKKRN_API int VKKRN_0x34_ForceNotifyTrigger(int readerHnd, int adr, int b);
/* Software trigger; the low 16 bits of time are sent. */
VKKRN_API int VKKRN_0x35_SoftwareTrigger(int readerHnd, int adr, int b1, int b2, int b3, unsigned int time);
/* Baud rate detection: sends one byte 0x00. */
VKKRN_API int VKKRN_0x52_GetBaud(int readerHnd, int adr);
/* Starts the flash loader of the reader at bus address 0. Status 0 ends the
 * authenticated channel: the next commands travel unwrapped. */
VKKRN_API int VKKRN_0x55_StartFlashLoader(int readerHnd);
/* The same at bus address adr. */
VKKRN_API int VKKRN_0x55_StartFlashLoaderEx(int readerHnd, int adr);
/* Resets the reader's processor. */
VKKRN_API int VKKRN_0x63_CPUReset(int readerHnd, int adr);
/* System reset. */
VKKRN_API int VKKRN_0x64_SystemReset(int readerHnd, int adr, int b);
/* Software version: all reply bytes to out, raw/hex (preset out[0] = 0); 65,538
 * bytes hold any reply, hex 131,075. No length is returned: a raw reply may hold
 * zero bytes, the hex text gives it.
 * Null test: out. */
VKKRN_API int VKKRN_0x65_SoftVersion(int readerHnd, int adr, unsigned char* out, int format);
/* Reader information of `mode`: as 0x65.
 * Null test: out. */
VKKRN_API int VKKRN_0x66_ReaderInfo(int readerHnd, int adr, int mode, unsigned char* out, int format);
/* Channel analysis (count: low 16 bits sent). values (516 longs) by m1, m2:
 * m1 bit 0: 4-byte unsigned values, at most 16 reply bytes; else bit 4: m2 0
 * 4-byte, m2 1 or 2 2-byte unsigned values, another m2 none; else bit 6: 2-byte
 * unsigned; else bit 3 or 2: signed bytes; else none. A longer reply than its
 * bound (16 or 516 bytes) gives -4070 and no value. A partial last value is
 * dropped. A null values is skipped. */
VKKRN_API int VKKRN_0x68_ChannelAnalyze(int readerHnd, int adr, int m1, int m2, int b3, int b4, int count,
                                        long* values);
/* RF reset. */
VKKRN_API int VKKRN_0x69_RFReset(int readerHnd, int adr);
/* RF on or off. */
VKKRN_API int VKKRN_0x6A_RFOnOff(int readerHnd, int adr, int b);
/* Initialises the noise threshold. */
VKKRN_API int VKKRN_0x6B_InitNoiseThreshold(int readerHnd, int adr);
/* Centralised RF synchronisation: sends a, c, d, b, time high, time low. */
VKKRN_API int VKKRN_0x6B_CentralizedRFSync(int readerHnd, int adr, int a, int b, int time, int c, int d);
/* Sets the noise levels: 6 bytes, or 12 hex characters for format 1.
 * Null test: levels. */
VKKRN_API int VKKRN_0x6C_SetNoiseLevel(int readerHnd, int adr, unsigned char* levels, int format);
/* The noise levels: 6 reply bytes (raw 7 bytes, hex 13). Preset out[0] = 0.
 * Null test: out. */
VKKRN_API int VKKRN_0x6D_GetNoiseLevel(int readerHnd, int adr, unsigned char* out, int format);
/* Diagnostics of `mode` (mode 0x21 also sends buffer[0]): the whole reply to
 * buffer with a NUL (65,538 bytes); buffer[0] = 0 when the reader was asked but
 * no reply data came.
 * Null test: buffer. */
VKKRN_API int VKKRN_0x6E_RdDiag(int readerHnd, int adr, int mode, unsigned char* buffer);
/* Antenna tuning. */
VKKRN_API int VKKRN_0x6F_AntennaTuning(int readerHnd, int adr);
/* Sets the outputs: four values of 0 to 65,535 (-4051 else, tested in order). */
VKKRN_API int VKKRN_0x71_SetOutput(int readerHnd, int adr, int v1, int v2, int v3, int v4);
/* Sets the outputs from count records of 4 bytes; a null records gives -4051
 * (after the handle check). */
VKKRN_API int VKKRN_0x72_SetOutput(int readerHnd, int adr, int mode, int count, unsigned char* records);
/* The inputs: one byte (preset 0).
 * Null test: out. */
VKKRN_API int VKKRN_0x74_ReadInput(int readerHnd, int adr, unsigned char* out);
/* Antenna adjustment: 2 reply bytes (raw 3 bytes, hex 5). Preset out[0] = 0.
 * Null test: out. */
VKKRN_API int VKKRN_0x75_AdjAntenna(int readerHnd, int adr, unsigned char* out, int format);
/* Checks the antennas: the whole reply to out without a NUL (65,537 bytes), its
 * length to outLength. Preset out[0] = 0, *outLength = 0.
 * Null test: out, outLength. */
VKKRN_API int VKKRN_0x76_CheckAntennas(int readerHnd, int adr, int b, unsigned char* out, int* outLength);
/* Writes `length` bytes of text to the display.
 * Null test: text. */
VKKRN_API int VKKRN_0x7A_WriteDisplay(int readerHnd, int adr, int b1, int b2, int b3, int b4, int b5,
                                      int length, char* text);
/* Reads configuration block `address`: 14 bytes (raw 15, hex 29). Preset out[0] = 0.
 * Null test: out. */
VKKRN_API int VKKRN_0x80_ReadConfBlock(int readerHnd, int adr, int address, unsigned char* out, int format);
/* Writes configuration block `address`: 14 bytes, or 28 hex characters.
 * Null test: data. */
VKKRN_API int VKKRN_0x81_WriteConfBlock(int readerHnd, int adr, int address, unsigned char* data, int format);
/* Saves configuration block `address`. */
VKKRN_API int VKKRN_0x82_SaveConfBlock(int readerHnd, int adr, int address);
/* Resets configuration block `address`. */
VKKRN_API int VKKRN_0x83_ResetConfBlock(int readerHnd, int adr, int address);
/* Sets the system timer: 4 bytes, or 8 hex characters.
 * Null test: timer. */
VKKRN_API int VKKRN_0x85_SetSysTimer(int readerHnd, int adr, unsigned char* timer, int format);
/* The system timer: 4 bytes (raw 5, hex 9). Preset out[0] = 0.
 * Null test: out. */
VKKRN_API int VKKRN_0x86_GetSysTimer(int readerHnd, int adr, unsigned char* out, int format);
/* Sets date and time: seven bytes and the low 16 bits of value. */
VKKRN_API int VKKRN_0x87_SetSystemDate(int readerHnd, int adr, int b1, int b2, int b3, int b4, int b5, int b6,
                                       int b7, int value);
/* Date and time: seven bytes and value (0 to 65,535).
 * Null test: d1, d2, d3, d4, d5, d6, d7, value. */
VKKRN_API int VKKRN_0x88_GetSystemDate(int readerHnd, int adr, unsigned char* d1, unsigned char* d2,
                                       unsigned char* d3, unsigned char* d4, unsigned char* d5,
                                       unsigned char* d6, unsigned char* d7, int* value);
/* Reads a configuration (value: low 16 bits sent): block count and size, and
 * count x (size + 2) bytes to out without a NUL (at most 65,535) when the reply
 * holds them, else out is left alone.
 * Null test: blockCount, blockSize, out. */
VKKRN_API int VKKRN_0x8A_ReadConfiguration(int readerHnd, int adr, int b1, int b2, int b3, unsigned int value,
                                           int b5, unsigned char* blockCount, unsigned char* blockSize,
                                           unsigned char* out);
/* Writes a configuration: count x (size + 2) data bytes; above 65,523: -4051.
 * Null test: data. */
VKKRN_API int VKKRN_0x8B_WriteConfiguration(int readerHnd, int adr, int b1, int b2, int b3, int blockCount,
                                            int blockSize, unsigned char* data);
/* Resets a configuration (value: low 16 bits sent). */
VKKRN_API int VKKRN_0x8C_ResetConfiguration(int readerHnd, int adr, int b1, int b2, int b3,
                                            unsigned int value, int b5);
/* Carries a further command: b1..b3 and count data bytes; the whole reply to out
 * with a NUL (65,538 bytes), its length to outLength (preset 0). A count below 0
 * or above 65,525: -4051.
 * Null test: data, out, outLength. */
VKKRN_API int VKKRN_0x9F_Piggyback_Command(int readerHnd, int adr, int b1, int b2, int b3,
                                           unsigned char* data, int count, unsigned char* out,
                                           int* outLength);
/* Reader login: 4 bytes, or 8 hex characters.
 * Null test: login. */
VKKRN_API int VKKRN_0xA0_RdLogin(int readerHnd, int adr, unsigned char* login, int format);
/* Writes a Mifare key: 6 bytes, or 12 hex characters. Key bytes are masked in
 * the capture and the protocol log.
 * Null test: key. */
VKKRN_API int VKKRN_0xA2_WriteMifareKeys(int readerHnd, int adr, int b1, int b2, unsigned char* key,
                                         int format);
/* Writes a DES or AES key of keyLength bytes (2 x keyLength hex characters);
 * masked as 0xA2.
 * Null test: key. */
VKKRN_API int VKKRN_0xA3_Write_DES_AES_Keys(int readerHnd, int adr, int b1, int b2, int b3, int keyLength,
                                            unsigned char* key, int format);
/* Writes the reader authentication key; as 0xA3.
 * Null test: key. */
VKKRN_API int VKKRN_0xAD_WriteReaderAuthentKey(int readerHnd, int adr, int b1, int b2, int keyLength,
                                               unsigned char* key, int format);

/* ---- Asynchronous tasks ------------------------------------------------------
 * One task at a time per reader runs on a worker thread of the reader: 1 an
 * inventory (0xB0 [01][40][T & FF]), 2 one inventory at the start and one per
 * VKKRN_TriggerAsyncTask until cancelled, 4 and 5 the wait for the reply of
 * VKKRN_0xC0_SAMCmd and VKKRN_0xBC_CmdQueue, 3, 6 and 7 notification listeners
 * (below). Each result or failure reaches the
 * callback on the task thread: status the reader's status byte or a negative
 * code (length 0 then), command 0xB0, 0xC0 or 0xBC, data valid during the call
 * only.
 *
 * Rules for the callback: it runs on the task thread; it must not cancel its
 * task or delete its reader (-4084, nothing changed). Commands to the reader
 * from the callback work.
 *
 * Inventory waits: the port's "Timeout" is T x 110 + 7000 ms during each
 * attempt (restored afterwards); the task gives -4082 after T x 120 ms + 7 s.
 * Reply waits: "Timeout" T x 100 ms on USB, 10 ms elsewhere; -4082 after
 * T x 120 ms.
 *
 * One line, one exchange: a task that waits for its reply (tasks 1 and 2 from
 * sending their inventory request until its reply has come, tasks 4 and 5 until
 * the reply to their 0xC0 or 0xBC) holds the reader's command lock only during
 * each receive attempt, so another thread's exchange with the same reader can
 * run between two attempts: for tasks 4 and 5 every 10 ms, for an inventory
 * right after its request and after each attempt that timed out. Make none
 * while a task waits: no command export (0xAE and the synchronous 0xC0
 * included), VKKRN_SendTransparent, VKKRN_Transmit or VKKRN_Receive on that
 * reader, no APDU, ping or deselect of libvktcl and no function-unit command of
 * libvkfu through it. The reader answers in request order and no frame says
 * which request it answers, so such an exchange either
 * - reads the task's reply: a command or VKKRN_SendTransparent fails with -4035
 *   (one with the task's command byte, 0xB0 during an inventory, takes the
 *   reply as its own), VKKRN_Receive returns it, an APDU fails or its response
 *   stays incomplete; the task then takes the exchange's reply and hands its
 *   status and data to the callback as its own (command still 0xB0, 0xC0 or
 *   0xBC);
 * - or finds the task's reply already waiting, which the serial and TCP ports
 *   drop before they send: the exchange works and the task reports -4082 when
 *   its time is up.
 * On the authenticated channel both ends run one cipher stream over the frames
 * in the order they handle them, so the exchange and the task can both fail
 * instead (the reader answers a request it cannot decipher with 0x81, the host
 * gets -4030, -4031 or a cipher code for a reply), and the channel can stay out
 * of step until the reader authenticates again. Safe while a task waits:
 * parameters, texts, frame building (only format 20 while the channel is on:
 * the others move its cipher on). The line is free again in a task's callback
 * and, for task 2, from its callback to the next VKKRN_TriggerAsyncTask.
 * Listeners take notifications on connections of their own.
 *
 * Notification listeners (tasks 3: 0x22, 6: 0x1F, 7: 0x77; mode 5; tasks 3 and
 * 7 take callback forms 1 and 2, task 6 form 3 only, else the start gives -4081
 * with -4054 logged): a TCP server on cAddress (IPv4 text, empty: every
 * interface; text that is no address fails like a port in use: -4081, -4083
 * logged) and uiTcpPort, for readers that connect on their own.
 * - One connection at a time: while one is served the port refuses connects.
 * - Whole frames, standard or advanced, reach the callback with the frame's
 *   status, command and data (0x77: the frame's bus address appended). Forms 2
 *   and 3 get the peer's address text and the task's own port (error reports:
 *   the configured address and port). Errors come as status with length 0:
 *   -1230 a frame not completed within T seconds (uiTimeout, 0 counts as 1;
 *   the part read is dropped), -4030 a length field no frame can have, -4031 a
 *   CRC error, -4092/-4094/-4035 refusals of the authenticated channel, -4083
 *   the port cannot be listened on again (the task then ends).
 * - Idle limits: a connection that has not delivered a frame (nor answered a
 *   handshake step) 3 x T seconds after its accept is closed; with the cipher
 *   on, one not authenticated by then is closed with -4092. After its first
 *   frame a reader may stay quiet as long as it likes (keep-alive, with
 *   ucKeepAlive, finds dead peers: idle and interval in ms rounded up to
 *   seconds, the probe count).
 * - Acknowledgements: task 3 answers a 0x22 with a 0x32 request (no data) to
 *   ucBusAdr when uiAcknowledge is 1; task 6 answers a 0x1F with a 0x1F reply
 *   (status 0, the byte the callback set) when the callback returns 1; task 7
 *   answers nothing. A send that cannot complete within T closes the connection.
 * - With ucCipher and a key of 16, 24 or 32 bytes, a reader first authenticates
 *   with 0xAE (key type 0, 1, 2 matching the key length), then sends only 0xAF;
 *   every notification of tasks 3 and 6 is acknowledged, enciphered. The first
 *   handshake locks the reader's FRAMESUPPORT to ADVANCED (-4056 afterwards).
 * - uiKeepConnection 0 closes the open connection when the task is cancelled;
 *   otherwise the reader keeps it (its newest) until the reader is deleted.
 *   A kept connection, or one the host closed (TIME_WAIT), holds the port:
 *   starting a listener on it gives -4086 until the system frees it.
 * - A listener runs until cancelled. A cancel while a frame is handled (its
 *   callback and acknowledgement) gives -4084 and the task ends after that
 *   frame; from its own callback a cancel gives -4084 and changes nothing, and
 *   commands on the same reader give -4032. */

typedef void (*VKKRN_TaskCallback1)(void* pAny, int readerHnd, int taskId, int status, unsigned char cmd,
                                    unsigned char* data, int len);
typedef void (*VKKRN_TaskCallback2)(void* pAny, int readerHnd, int taskId, int status, unsigned char cmd,
                                    unsigned char* data, int len, char* senderAddress, int senderPort);
typedef int (*VKKRN_TaskCallback3)(void* pAny, int readerHnd, int taskId, int status, unsigned char cmd,
                                   unsigned char* data, int len, char* senderAddress, int senderPort,
                                   unsigned char* acknowledge);

/* The callback of a task record, of the form its uiCallbackVariant names. */
typedef union _VKKRN_TASK_CALLBACK {
    VKKRN_TaskCallback1 form1;
    VKKRN_TaskCallback2 form2;
    VKKRN_TaskCallback3 form3;
} VKKRN_TASK_CALLBACK;

/* Read once when the task starts; the caller may reuse it at once. */
typedef struct _VKKRN_TASK_INIT {
    void* pAny;                       /* first argument of the callback */
    unsigned char ucBusAdr;           /* bus address of the requests */
    unsigned int uiMode;              /* 1 for tasks 1 and 2 (else -4054); 5 listeners */
    unsigned int uiKeepConnection;    /* listeners */
    char cAddress[16];                /* listeners: local IPv4 address text, empty: any */
    unsigned int uiTcpPort;           /* tested for use on this host (0: free) */
    unsigned int uiTimeout;           /* T: inventory and reply waits, low byte sent */
    unsigned int uiCallbackVariant;   /* 1 to 3; tasks 1, 2, 4 and 5 serve 1 only */
    unsigned char ucCipher;           /* listeners: authenticated channel */
    unsigned int uiKeyLength;         /* 16, 24 or 32, else the cipher stays off */
    unsigned char ucKey[32];          /* the first uiKeyLength bytes used */
    unsigned char ucKeepAlive;        /* listeners: TCP keep-alive */
    unsigned int uiKeepAliveIdle;     /* milliseconds */
    unsigned int uiKeepAliveProbes;   /* probe count */
    unsigned int uiKeepAliveInterval; /* milliseconds */
    unsigned int uiAcknowledge;       /* listener task 3 */
    VKKRN_TASK_CALLBACK callback;     /* required */
} _VKKRN_TASK_INIT;

#if defined(__x86_64__) && !defined(__ILP32__)
#ifdef __cplusplus
static_assert(sizeof(_VKKRN_TASK_INIT) == 120, "task record of 120 bytes");
static_assert(__builtin_offsetof(_VKKRN_TASK_INIT, callback) == 112, "callback at 112");
#else
_Static_assert(sizeof(_VKKRN_TASK_INIT) == 120, "task record of 120 bytes");
_Static_assert(__builtin_offsetof(_VKKRN_TASK_INIT, callback) == 112, "callback at 112");
#endif
#endif

/* Checks of the task exports in this order: a null record (or data) -4002, the
 * handle codes, -4086 when the record's TCP port is used by a local socket in a
 * state from established to closed (the library's last error); then the
 * reader's codes (also its last error). */

/* Starts task 1, 2, 3, 6 or 7: 0 once the thread runs; -4050 for another id,
 * -4002 without a callback, -4080 when a task still runs after 3 x 100 ms,
 * -4081 when the task ended at once (callback variant not served; tasks 1, 2
 * with mode not 1: the callback gets -4054; listeners with mode not 5 or a
 * port that cannot be listened on) or no thread could start. `reserved` is not
 * read. */
VKKRN_API int VKKRN_StartAsyncTask(int readerHnd, int taskId, _VKKRN_TASK_INIT* record, void* reserved);
/* Stops the task and waits for its thread: 0, -4081 without a task, -4084 while
 * its callback runs (the task ends after it) or from the task's own thread. */
VKKRN_API int VKKRN_CancelAsyncTask(int readerHnd);
/* Asks task 2 for its next inventory: 0, -4081 without a task. */
VKKRN_API int VKKRN_TriggerAsyncTask(int readerHnd);
/* Set and clear every reader's stop flag (no log lines and no events while it is
 * set); 0. */
VKKRN_API int VKKRN_SetStopFlag(void);
VKKRN_API int VKKRN_ClearStopFlag(void);
/* 1 when no reader is writing a log line or delivering an event, else 0. */
VKKRN_API int VKKRN_IsLockReady(void);
/* Sends 0xBC [first][second][data] (0xC0 [slot][T & FF][data]; -4004 on a reader
 * without a port) to the record's bus address without waiting, then starts task
 * 5 (4) for the reply: 0, or the code of the checks, of sending or of the start.
 * Nothing is sent when the reply could not be read: -4002 without a callback,
 * -4081 for a callback variant other than 1, -4006 on a first-generation USB
 * reader, -4051 for a length below 0 or above 65,526, -4080 while a task runs
 * after 3 x 100 ms. */
VKKRN_API int VKKRN_0xBC_CmdQueue(int readerHnd, int first, int second, unsigned char* data, int len,
                                  _VKKRN_TASK_INIT* record);
VKKRN_API int VKKRN_0xC0_SAMCmd(int readerHnd, int slot, unsigned char* data, int len,
                                _VKKRN_TASK_INIT* record);

/* The local date and time as the protocol log writes it ("%x %X" and ".%03d"
 * milliseconds; at most 36 bytes). Returns out; null: nothing written. */
VKKRN_API char* VKGetDateTime(char* out);
/* Microseconds since 1970 (UTC). */
VKKRN_API unsigned long long VKGetUTCTimestamp(void);

/* ---- Authenticated channel ------------------------------------------------
 *
 * Host and reader prove to each other that they hold the same AES key, then
 * every exchange of the reader travels enciphered (AES in output-feedback mode)
 * inside command 0xAF, until the reader answers a wrapped command with status
 * 0x82, its TCP connection is lost, a new authentication gets its first answer,
 * or the reader is deleted. A reader's 0x82 returns the channel to plain frames:
 * a reader may ask for that downgrade at any time, and the library follows it.
 *
 * Every keying of the channel's cipher, on both sides, starts its feedback chain
 * from this 16-byte initial vector: readers must hold the same value. */
#define VKKRN_CHANNEL_IV_SIZE 16
#define VKKRN_CHANNEL_IV                                                                                     \
    { 0x4B, 0x9E, 0x27, 0xD1, 0x6C, 0x03, 0xF8, 0x5A, 0xB4, 0x71, 0x1D, 0xE6, 0x38, 0xC2, 0x8F, 0x65 }

/* Reader authentication (0xAE) with the shared key: key type 0 AES-128 (16 key
 * bytes), 1 AES-192 (24), 2 AES-256 (32); keyLength bytes of key, or with format
 * 1 exactly 2 x keyLength hex characters; only the first bytes the key type
 * needs are used. first goes out unchanged in both requests. Needs libcrypto
 * (OpenSSL 3: "libcrypto.so", else "libcrypto.so.3").
 * Returns 0 (frame mode ADVANCED and locked, FRAMESUPPORT refused with -4056,
 * every later command wrapped), the reader's status when it refused, or -4002
 * (null key, before the handle checks), -4060 (no port), -4006 (first-generation
 * USB), -4051 (key type above 2, keyLength above 64 or below the type's size,
 * bad hex), -4035, -4037, -4066 (the reply), -4092 (a wrong reply or proof),
 * -4090 (no libcrypto), -4091 (no random bytes, or the cipher cannot be keyed),
 * -4093/-4094, or the port's code. On a failure the frame mode and its lock are
 * as before; a channel that was active survives failures up to the first good
 * answer and ends with any later one.
 *
 * Recovery after a fault on the channel: host and reader run one cipher stream,
 * each enciphering the requests and deciphering the replies in turn, so a reply
 * the host could not take (a time-out, a cut or spoilt frame, -4030, -4031,
 * -4035, -4037, -4094 or a port code) may leave the reader's stream ahead of the
 * host's. The library cannot tell whether it did and does not guess: it keeps
 * its channel, every later exchange fails (mostly -4030: the reader could not
 * read the request and answered without an inner frame) and none hands out
 * data. So after any negative result of an exchange on the channel, other than
 * the argument and handle checks that send nothing (-4001, -4002, -4006,
 * -4021 to -4023, -4051, -4052, -4060), call this function once more: its first
 * answer ends the old channel and a success starts a new one. A status above 0
 * came through the channel and needs nothing. When the port reports the
 * connection gone, connect again and authenticate on the new connection.
 * Null test: key. */
VKKRN_API int VKKRN_0xAE_ReaderAuthent(int readerHnd, int adr, int first, int keyType, int keyLength,
                                       unsigned char* key, int format);

#ifdef __cplusplus
}
#endif

#endif
