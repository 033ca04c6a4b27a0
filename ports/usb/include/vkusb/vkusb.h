/* libvkusb: KRN readers on USB. Scans the bus for the maker's readers, opens
 * them under integer handles (0x10000000 plus a running count), carries
 * host-protocol frames to and from them, reads and sets parameters by text key
 * and names every result code.
 *
 * Every function returns 0 or more on success (a count, an index or a handle)
 * and a negative code from -1100 to -1199 on failure, kept as the library's last
 * error; VKUSB_GetErrorText gives its English text. */
#ifndef VKUSB_VKUSB_H
#define VKUSB_VKUSB_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define VKUSB_EXTERN extern "C"
#else
#include <stdbool.h>
#define VKUSB_EXTERN extern
#endif
#define VKUSB_API VKUSB_EXTERN __attribute__((visibility("default")))

/* USB vendor id of the maker's readers; usable readers carry product ids 1 to 4. */
#define VKUSB_VENDOR_ID 0xF1E0

/* Version text written by VKUSB_GetDLLVersion. */
#define VKUSB_DLL_VERSION "05.00.00"

/* Interface name of the host protocol. */
#define VKUSB_INTERFACE_NUBO_RCI2 "NUBO-RCI2"

/* Scan options: first reader, next reader, all readers; plus the bit that makes
 * the filter apply. */
#define VKUSB_SCAN_FIRST 1
#define VKUSB_SCAN_NEXT 2
#define VKUSB_SCAN_ALL 3
#define VKUSB_SCAN_ALL_EX 15
#define VKUSB_SCAN_FILTER 0x10000

/* Filter mask bits; the lowest one set decides. */
#define VKUSB_SEARCH_FAMILYNAME 1
#define VKUSB_SEARCH_DEVICENAME 2
#define VKUSB_SEARCH_DEVICEID 4

/* Scan filter (104 bytes, no gaps). The texts are compared up to their field
 * size; they need no terminating NUL when they fill the field. */
typedef struct _VKUSB_SCANSEARCH {
    int mask;
    char familyName[25];
    char deviceName[50];
    char deviceId[25]; /* hexadecimal */
} _VKUSB_SCANSEARCH;

/* Events of the connect and disconnect handlers. The library's watch thread
 * finds readers plugged in and pulled out: by a pass over the bus every
 * "HOTPLUG-UPDATERATE" microseconds (mode 1, "vkusb_hotplug=1", the default), or
 * from libusb's hot-plug callbacks (mode 2). libusb calls those only while a
 * host thread drives its event handling on the default context
 * (libusb_handle_events); the library never does. Handlers run on the watch
 * thread; they may call the library but not add or remove handlers (-1107).
 * A connect reports (0, device id) for a reader that is not in the scan list; a
 * disconnect reports (handle, device id) for a scanned reader that left, or
 * (0, 0) in mode 2. */
#define VKUSB_EVENT_CONNECT 1
#define VKUSB_EVENT_DISCONNECT 2
#define VKUSB_EVENT_FLAG 3

typedef void (*VKUSB_EVENT_CALLBACK)(int deviceHandle, uint32_t deviceId);

/* Handler record of VKUSB_AddEventHandler and VKUSB_DelEventHandler. */
typedef struct _VKUSB_EVENT_INIT {
    uint32_t eventId; /* VKUSB_EVENT_CONNECT or VKUSB_EVENT_DISCONNECT */
    uint32_t reserved1;
    uint32_t flag; /* must be VKUSB_EVENT_FLAG */
    uint32_t reserved2;
    void* reserved3;
    VKUSB_EVENT_CALLBACK callback;
} _VKUSB_EVENT_INIT;

#ifdef __cplusplus
static_assert(sizeof(_VKUSB_SCANSEARCH) == 104, "scan filter layout");
static_assert(offsetof(_VKUSB_SCANSEARCH, familyName) == 4, "scan filter layout");
static_assert(offsetof(_VKUSB_SCANSEARCH, deviceName) == 29, "scan filter layout");
static_assert(offsetof(_VKUSB_SCANSEARCH, deviceId) == 79, "scan filter layout");
static_assert(offsetof(_VKUSB_EVENT_INIT, flag) == 8, "event record layout");
static_assert(offsetof(_VKUSB_EVENT_INIT, callback) == 16 + sizeof(void*), "event record layout");
static_assert(sizeof(_VKUSB_EVENT_INIT) == 16 + 2 * sizeof(void*), "event record layout");
#else
_Static_assert(sizeof(_VKUSB_SCANSEARCH) == 104, "scan filter layout");
_Static_assert(offsetof(_VKUSB_EVENT_INIT, callback) == 16 + sizeof(void*), "event record layout");
_Static_assert(sizeof(_VKUSB_EVENT_INIT) == 16 + 2 * sizeof(void*), "event record layout");
#endif

VKUSB_API void VKUSB_GetDLLVersion(char* text);
VKUSB_API int VKUSB_GetErrorText(int code, char* text);
VKUSB_API int VKUSB_GetLastError(int handle, int* code, char* text);
VKUSB_API int VKUSB_GetDrvVersion(char* text);

VKUSB_API int VKUSB_Scan(int option, _VKUSB_SCANSEARCH* filter);
VKUSB_API int VKUSB_ScanAndOpen(int option, _VKUSB_SCANSEARCH* filter);
VKUSB_API int VKUSB_GetScanListPara(int index, char* key, char* value);
VKUSB_API int VKUSB_GetScanListSize(void);
VKUSB_API int VKUSB_ClearScanList(void);

VKUSB_API int VKUSB_AddEventHandler(int handle, _VKUSB_EVENT_INIT* init);
VKUSB_API int VKUSB_DelEventHandler(int handle, _VKUSB_EVENT_INIT* init);

VKUSB_API int VKUSB_OpenDevice(uint32_t deviceId);
VKUSB_API int VKUSB_CloseDevice(int handle);
VKUSB_API int VKUSB_IsDevicePresent(int handle);
VKUSB_API int VKUSB_GetDeviceList(int handle);
VKUSB_API int VKUSB_GetDevicePara(int handle, char* key, char* value);
VKUSB_API int VKUSB_SetDevicePara(int handle, char* key, char* value);
VKUSB_API int VKUSB_GetDeviceHnd(uint32_t deviceId);

VKUSB_API int VKUSB_Transceive(int handle, char* interfaceName, int mode, uint8_t* tx, int txLength,
                               uint8_t* rx, int rxLength);
VKUSB_API int VKUSB_Transmit(int handle, char* interfaceName, uint8_t* tx, int length);
VKUSB_API int VKUSB_Receive(int handle, char* interfaceName, uint8_t* rx, int length);

/* Trace to standard output: level 0 off, 1 library, 2 devices and data, 3 watcher. */
VKUSB_API void VKLOG_SetLevel(int level);
VKUSB_API int VKLOG_Level(void);
VKUSB_API void VKLOG_Msg(const char* tag, const char* message);

/* Text of the last unknown code (256 bytes). */
VKUSB_API char g_cVkusbErrorText[256];
/* Set by a host that may not touch the bus: scans return 0 at once and the
 * watcher's library keys are refused. */
VKUSB_API bool g_bVkUsbAndroidUnroot;
/* Kept for a host; the library neither sets nor reads it. */
VKUSB_API void* g_jvm;

#endif
