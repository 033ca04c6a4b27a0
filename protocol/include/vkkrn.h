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
 * all -4001, no reader with that handle -4023. The reader's own last error
 * (VKKRN_GetLastError) is left alone by these checks.
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
 * command byte and bus address are not compared. */
VKKRN_API int VKKRN_Receive(int readerHnd, unsigned char* rx, int rxSize, int hex);

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

/* ---- Asynchronous tasks ------------------------------------------------------
 * One task at a time per reader runs on a worker thread of the reader: 1 an
 * inventory (0xB0 [01][40][T & FF]), 2 one inventory at the start and one per
 * VKKRN_TriggerAsyncTask until cancelled, 4 and 5 the wait for the reply of
 * VKKRN_0xC0_SAMCmd and VKKRN_0xBC_CmdQueue; 3, 6 and 7 (notification
 * listeners) are not offered yet (-4081). Each result or failure reaches the
 * callback on the task thread: status the reader's status byte or a negative
 * code (length 0 then), command 0xB0, 0xC0 or 0xBC, data valid during the call
 * only.
 *
 * Rules for the callback: it runs on the task thread; it must not cancel its
 * task or delete its reader (-4084, nothing changed). Commands to the reader
 * from the callback work. The authenticated channel keeps one cipher vector for
 * both directions: a command sent between an asynchronous request and its reply
 * breaks the channel.
 *
 * Inventory waits: the port's "Timeout" is T x 110 + 7000 ms during each
 * attempt (restored afterwards); the task gives -4082 after T x 120 ms + 7 s.
 * Reply waits: "Timeout" T x 100 ms on USB, 10 ms elsewhere; -4082 after
 * T x 120 ms. */

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

/* Starts task 1 or 2 (3, 6, 7: -4081): 0 once the thread runs; -4050 for another
 * id, -4002 without a callback, -4080 when a task still runs after 3 x 100 ms,
 * -4081 when the task ended at once (callback variant not 1; mode not 1: the
 * callback gets -4054) or no thread could start. `reserved` is not read. */
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

#ifdef __cplusplus
}
#endif

#endif
