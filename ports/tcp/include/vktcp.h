/*
 * libvktcp: TCP client connections to KRN readers.
 *
 * Every function returns 0 or more on success (a handle, a count or 0) and a
 * negative code from -1200 to -1299 on failure; VKTCP_GetErrorText turns a code
 * into an English or German text (UTF-8).
 *
 * Handles: 0x20000000 plus a running count. Connecting again to the same host text
 * and port returns the handle of the existing connection; the first
 * VKTCP_DisConnect ends it for every caller that shares it. Once its
 * disconnection has begun, a connection is never handed out again:
 * VKTCP_GetSocketHnd does not find it (-1223), and VKTCP_Connect to its host text
 * and port waits until it is closed and its end waited for (not for its
 * DISCONNECT handlers) and then opens a new connection under a new handle, also
 * when called from such a handler.
 *
 * Parameters (VKTCP_GetSocketPara / VKTCP_SetSocketPara), keys compared without
 * regard to case, values as decimal text; buffers for values must hold 128 bytes:
 *   "TIMEOUT"         reply time-out in ms, 0..99999 (3000)
 *   "CHARTIMEOUT"     time-out between bytes in ms, 1..999 (250)
 *   "USENUBO"         1: a reply is completed by its length field, 0: by a quiet
 *                     line after CHARTIMEOUT (1)
 *   "TXDELAYTIME"     0..999 ms (5), stored only
 *   "TXTIMECONTROL"   0 or 1 (0), stored only
 *   "PORTNR", "HOSTADR", "HOSTNAME", "LASTSOCKETERROR"   read only
 *   "LANGUAGE"        7 German, 9 English (9); library-wide, any handle >= 0
 *
 * Event handlers (_VKTCP_EVENT_INIT, flag VKTCP_EVENT_FLAG_CONTEXT):
 *   VKTCP_EVENT_DISCONNECT (2)  called by the thread that disconnects the socket,
 *       while that socket's handler-list lock is held (and, when the library is
 *       unloaded, its registry lock too): the handler must not add or remove
 *       handlers of that socket, and must not call this library at unload.
 *   VKTCP_EVENT_SEND_FAILED (101)  called by VKTCP_Transceive when its request
 *       was not sent in full, value 0. The handler may call VKTCP_Transmit or
 *       VKTCP_Receive on that socket, but must not call VKTCP_Transceive on it,
 *       add or remove handlers of that socket, or run while another thread may
 *       disconnect that socket.
 */
#ifndef VKTCP_H
#define VKTCP_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VKTCP_EVENT_DISCONNECT 2
#define VKTCP_EVENT_SEND_FAILED 101
#define VKTCP_EVENT_FLAG_CONTEXT 3

typedef void (*VKTCP_EventCallback)(void* pAny, int socketHandle, int eventId, int value);

typedef struct _VKTCP_EVENT_INIT {
    void* pAny;                   /* handed back to the callback unchanged */
    uint32_t eventId;             /* VKTCP_EVENT_DISCONNECT or VKTCP_EVENT_SEND_FAILED */
    uint32_t reserved;            /* not read */
    uint32_t flag;                /* must be VKTCP_EVENT_FLAG_CONTEXT */
    VKTCP_EventCallback callback; /* (pAny, socket handle, event id, value) */
} _VKTCP_EVENT_INIT;

/* Writes "03.00.00" and a terminator (9 bytes). */
void VKTCP_GetDLLVersion(char* version);
/* Writes the text of `code` in the current language; `text` must hold 77 bytes. */
int VKTCP_GetErrorText(int code, char* text);
/* The socket's last error and its text. */
int VKTCP_GetLastError(int handle, int* code, char* text);
int VKTCP_AddEventHandler(int handle, _VKTCP_EVENT_INIT* record);
int VKTCP_DelEventHandler(int handle, _VKTCP_EVENT_INIT* record);
/* 0 when `host` accepts a connection on `port` (a blocking connect). */
int VKTCP_Detect(const char* host, int port);
/* `host`: dotted IPv4 address or host name, at most 127 characters. */
int VKTCP_Connect(const char* host, int port);
int VKTCP_DisConnect(int handle);
/* Handle 0 gives the first handle, a handle the one after it, 0 after the last. */
int VKTCP_GetSocketList(int handle);
int VKTCP_GetSocketPara(int handle, const char* key, char* value);
int VKTCP_SetSocketPara(int handle, const char* key, const char* value);
int VKTCP_GetSocketHnd(const char* host, int port);
/* Discards input already waiting, sends the request, reads one reply. */
int VKTCP_Transceive(int handle, const uint8_t* request, int requestLength, uint8_t* reply, int replySize);
int VKTCP_Transmit(int handle, const uint8_t* data, int length);
int VKTCP_Receive(int handle, uint8_t* buffer, int bufferSize);
/* State of the connections to host and port: 1 closed, 2 listen, 3 SYN sent,
 * 4 SYN received, 5 established, 6 FIN wait 1, 7 FIN wait 2, 8 close wait,
 * 9 closing, 10 last ACK, 11 time-wait; 0 none. The lowest state of several
 * connections counts. */
int VKTCP_GetSocketState(const char* host, int port);

typedef void (*VKTCP_GetDLLVersion_Fn)(char* version);
typedef int (*VKTCP_GetErrorText_Fn)(int code, char* text);
typedef int (*VKTCP_GetLastError_Fn)(int handle, int* code, char* text);
typedef int (*VKTCP_AddEventHandler_Fn)(int handle, _VKTCP_EVENT_INIT* record);
typedef int (*VKTCP_DelEventHandler_Fn)(int handle, _VKTCP_EVENT_INIT* record);
typedef int (*VKTCP_Detect_Fn)(const char* host, int port);
typedef int (*VKTCP_Connect_Fn)(const char* host, int port);
typedef int (*VKTCP_DisConnect_Fn)(int handle);
typedef int (*VKTCP_GetSocketList_Fn)(int handle);
typedef int (*VKTCP_GetSocketPara_Fn)(int handle, const char* key, char* value);
typedef int (*VKTCP_SetSocketPara_Fn)(int handle, const char* key, const char* value);
typedef int (*VKTCP_GetSocketHnd_Fn)(const char* host, int port);
typedef int (*VKTCP_Transceive_Fn)(int handle, const uint8_t* request, int requestLength, uint8_t* reply,
                                   int replySize);
typedef int (*VKTCP_Transmit_Fn)(int handle, const uint8_t* data, int length);
typedef int (*VKTCP_Receive_Fn)(int handle, uint8_t* buffer, int bufferSize);
typedef int (*VKTCP_GetSocketState_Fn)(const char* host, int port);

#ifdef __cplusplus
}
#endif

#endif
