/*
 * libvkcom: serial ports that carry the host protocol of KRN readers.
 *
 * Ports are opened by number (1 to 256: the device is the port prefix followed
 * by the number minus 1) and named by the handle VIZER_OpenPort returns. Every
 * function returns 0 or more on success and a negative code from -1000 to -1099
 * on failure; VIZER_GetErrorText names a code in English or German.
 *
 * Closing a port while other threads call functions on it is safe: a call
 * waiting inside the port (a transfer waiting for its reply, or for the line
 * to take its bytes) ends at once with -1023, as does every call on the port
 * after the close; VIZER_ClosePort returns once no call is inside the port any
 * more, with the line restored and the device closed.
 *
 * Modem-line handlers run on the caller's thread while the port's I/O lock is
 * held: a handler must not call a function of the same port that takes that
 * lock (VIZER_Transceive, VIZER_Transmit, VIZER_Receive, VIZER_ClosePort, the
 * parameters "BAUD" and "FRAME", the commands FLUSHINQ, FLUSHOUTQ, SETDTR and
 * SETRTS), or it deadlocks.
 */
#ifndef VKCOM_VIZER_H
#define VKCOM_VIZER_H

#include <stddef.h>
#include <stdint.h>

/* Marks the library's exported names; everything else in it stays hidden. */
#define VIZER_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* Modem-line callback: (port number 1 to 256, state 1 on / 0 off). */
typedef void (*VIZER_EventCallback)(int portNumber, int state);

/* Event ids of a handler record. */
enum {
    VIZER_EVENT_CTS = 1,
    VIZER_EVENT_DCD = 2,
    VIZER_EVENT_DSR = 3,
    VIZER_EVENT_RTS = 4,
    VIZER_EVENT_DTR = 5
};

/* The only flag VIZER_AddEventHandler accepts. */
#define VIZER_EVENT_FLAG_CALLBACK 3u

/* Record of a modem-line handler; the caller owns it, the library copies it. */
typedef struct _VIZER_EVENT_INIT {
    uint32_t eventId;
    uint32_t unused;   /* not read */
    uint32_t flag;     /* must be 3 */
    uint32_t reserved; /* not read */
    VIZER_EventCallback callback;
} _VIZER_EVENT_INIT;

/* Record of the extended handler pair; only the flag is read. */
struct _VIZER_INTERNAL_EVENT_INIT {
    uint32_t eventId;
    uint32_t unused;
    uint32_t flag;
    uint32_t reserved;
    VIZER_EventCallback callback;
};
typedef struct _VIZER_INTERNAL_EVENT_INIT _VIZER_INTERNAL_EVENT_INIT;

#if defined(__x86_64__)
#ifdef __cplusplus
static_assert(offsetof(struct _VIZER_EVENT_INIT, callback) == 16 && sizeof(struct _VIZER_EVENT_INIT) == 24,
              "record layout");
#else
_Static_assert(offsetof(struct _VIZER_EVENT_INIT, callback) == 16 && sizeof(struct _VIZER_EVENT_INIT) == 24,
               "record layout");
#endif
#endif

VIZER_API void VIZER_GetDLLVersion(char* version);
VIZER_API int VIZER_GetErrorText(int code, char* text);
VIZER_API int VIZER_GetLastError(int handle, int* code, char* text);
VIZER_API int VIZER_DetectPort(int portNumber);
VIZER_API int VIZER_AddEventHandler(int handle, struct _VIZER_EVENT_INIT* record);
VIZER_API int VIZER_DelEventHandler(int handle, struct _VIZER_EVENT_INIT* record);
VIZER_API int VIZER_OpenPort(char* portNumber);
VIZER_API int VIZER_ClosePort(int handle);
VIZER_API int VIZER_GetPortList(int handle);
VIZER_API int VIZER_GetPortPara(int handle, char* key, char* value);
VIZER_API int VIZER_SetPortPara(int handle, char* key, char* value);
VIZER_API int VIZER_DoPortCmd(int handle, char* command, char* value);
VIZER_API int VIZER_GetPortHnd(char* portNumber);
VIZER_API int VIZER_Transceive(int handle, uint8_t* request, int requestLength, uint8_t* reply,
                               int replySize);
VIZER_API int VIZER_Transmit(int handle, uint8_t* data, int length);
VIZER_API int VIZER_Receive(int handle, uint8_t* buffer, int bufferSize);

#ifdef __cplusplus
}

/* Extended handler registration, exported under its C++ name only. Never
 * succeeds: flag 101 gives -1006, any other flag -1050, a null record -1002. */
VIZER_API int VIZER_AddEventHandlerEx(int handle, _VIZER_INTERNAL_EVENT_INIT* record);
VIZER_API int VIZER_DelEventHandlerEx(int handle, _VIZER_INTERNAL_EVENT_INIT* record);
#endif

#endif
