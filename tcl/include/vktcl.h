/*
 * libvktcl: APDU exchange with ISO 14443-4 (T=CL) cards in the field of a KRN
 * reader that libvkkrn drives.
 *
 * A transponder is opened on a reader handle of libvkkrn, a bus address and
 * the card's CID and NAD settings; APDUs of up to 65,535 bytes are sent on it,
 * on the caller's thread or on a worker thread that calls back when the
 * exchange has ended; the re-assembled response is fetched afterwards.
 *
 * Results: 0 or more on success (a handle, a length or a reader status byte),
 * a negative code on failure: -4200 to -4299 of this library, -4001 to -4099 of
 * libvkkrn, -1001 to -1299 of the port libraries. VKTCL_GetErrorText gives the
 * English text of any of them.
 *
 * The library-wide last error (VKTCL_GetLastError) records the outcome of the
 * checks a call makes before it reaches its transponder: 0 once the transponder
 * is found, else the code of the failed check. Text buffers hold 256 bytes.
 */
#ifndef VKTCL_H
#define VKTCL_H

#define VKTCL_API __attribute__((visibility("default")))

#ifdef __cplusplus
#include <cstddef>
extern "C" {
#else
#include <stdbool.h>
#include <stddef.h>
#endif

/* Size of every text buffer handed to the library. */
#define VKTCL_TEXT_SIZE 256

/* Callback selectors of _VKTCL_EVENT_INIT.uiFlag. */
#define VKTCL_CALLBACK3 3
#define VKTCL_CALLBACK4 4

/* Called on the APDU worker thread once the exchange has ended: result is what a
 * synchronous VKTCL_Apdu would have returned, responseLength the number of
 * response bytes collected. The response may be fetched, the next APDU started
 * or the transponder deleted from inside the callback. */
typedef void (*VKTCL_ApduCallback3)(int transponderHandle, int result, int responseLength);
typedef void (*VKTCL_ApduCallback4)(void* pAny, int transponderHandle, int result, int responseLength);

/* The event record of an asynchronous VKTCL_Apdu, read only during the call. */
typedef struct _VKTCL_EVENT_INIT {
    void* pAny;          /* handed back by a selector-4 callback */
    unsigned int uiUse;  /* not read */
    unsigned int uiMsg;  /* not read */
    unsigned int uiFlag; /* 3: callback is a VKTCL_ApduCallback3, 4: a VKTCL_ApduCallback4, else none */
    void* callback;      /* null: no callback */
} _VKTCL_EVENT_INIT;

#ifdef __cplusplus
static_assert(sizeof(_VKTCL_EVENT_INIT) == 32, "event record layout");
static_assert(offsetof(_VKTCL_EVENT_INIT, callback) == 24, "event record layout");
#else
_Static_assert(sizeof(_VKTCL_EVENT_INIT) == 32, "event record layout");
_Static_assert(offsetof(_VKTCL_EVENT_INIT, callback) == 24, "event record layout");
#endif

/* Writes "02.02.02" and a terminator (9 bytes) and records 0; a null pointer
 * records -4202 and writes nothing. */
VKTCL_API void VKTCL_GetDLLVersion(char* version);

/* Writes the text of `code` (256 bytes). Returns 0; for codes of libvkkrn and
 * of the port libraries that library's result (a port library that cannot be
 * loaded gives an empty text and 0); -4253 for a code nobody knows (a text
 * naming it is written); -4202 for a null text (not recorded). */
VKTCL_API int VKTCL_GetErrorText(int code, char* text);

/* The library-wide last error and its text. Returns 0, or -4202 for a null
 * pointer (not recorded). */
VKTCL_API int VKTCL_GetLastError(int* code, char* text);

/* Opens a transponder: asks the reader for its buffer sizes (command 0x66) and
 * reads its port handle and time-out. Returns the transponder handle (1 to
 * 0x10000000, then 1 again, skipping handles in use), -4220 for a reader handle
 * below 1 (no reader is asked), -4200 when the transponder cannot be opened
 * (whatever the reader answered; also a reader receive size below 10). */
VKTCL_API int VKTCL_NewTransponder(int readerHandle, unsigned char busAddress, unsigned char cid,
                                   unsigned char nad, bool useCid, bool useNad);

/* Deletes a transponder; a running asynchronous APDU stops at its next read or
 * before its next request block and still calls back once: when the deletion
 * stopped it, with -4234 ("response protocol not received") and the length of
 * the part of the response that came; else with the result it came to first.
 * libvkkrn's stop flag (VKKRN_SetStopFlag) is left as the application set it.
 * -4222 negative, -4221 zero, -4201 no transponder at all, -4223 unknown
 * handle. */
VKTCL_API int VKTCL_DeleteTransponder(int handle);

/* Enumeration in creation order: 0 gives the first handle (-4201 when none is
 * open), a handle the next one (0 after the last, -4220 for a handle not
 * open); -4222 for a negative handle. */
VKTCL_API int VKTCL_GetTransponderList(int handle);

/* One line, one exchange: an APDU, a deselect and a presence check are
 * exchanges with the reader, as its commands are. While an asynchronous task
 * of libvkkrn waits for a reply of the same reader (an inventory of
 * VKKRN_StartAsyncTask tasks 1 and 2, the reply to VKKRN_0xC0_SAMCmd or
 * VKKRN_0xBC_CmdQueue), start none on a transponder of that reader. The reader
 * answers in request order, so the exchange can read the task's reply (the
 * APDU then fails, for example with -4273, or its response stays incomplete:
 * -4275 when fetched) while the task hands the card's answer to its callback as
 * its own reply; or it takes the task's reply with its own, and the task
 * reports -4082. On an authenticated reader both can fail instead, and the
 * channel can stay out of step until the reader authenticates again. See "One
 * line, one exchange" in vkkrn.h. */

/* Sends one APDU. Checks in order: null apdu -4202, length 65,536 or more
 * -4270, negative length -4251, then the handle (-4222, -4221, -4201, -4223).
 * Without an event record the exchange runs on the caller's thread and its
 * result is returned: 0 (the response may still be incomplete), a reader status
 * byte, or a negative code. With one, a worker thread runs it and the call
 * returns 0 at once (-4227 when the thread cannot start: no callback then);
 * every start that returned 0 calls back exactly once. Memory that runs out
 * gives -4203, and the transponder is free for the next APDU. -4209 while
 * another APDU, ping or deselect of the transponder runs, from any thread,
 * synchronous or not: one exchange at a time holds the transponder, and the
 * others are refused at once.
 *
 * Bounds of one request block's answers: more than 4,096 answer frames, or a
 * response of more than 65,538 bytes, end the exchange with -4271; answers
 * still coming 60 s after the block went out, with -4232.
 *
 * Readers on serial and TCP ports: each request block goes out and its first
 * answer comes back in libvkkrn's transparent exchange (VKKRN_SendTransparent),
 * under the reader's command lock, so commands of other threads to the same
 * reader wait meanwhile. The answers that follow without a request (waiting-time
 * requests, chained response blocks) are read one at a time (VKKRN_Receive),
 * each under the lock on its own, as on other ports: a command of another thread
 * that comes between two of them makes the APDU fail (the port drops answers
 * still waiting when it sends: the port's time-out code and an incomplete
 * response; or the other command's reply is met: -4035), and that command may
 * fail too (-4035 when it meets an answer of the card); neither is handed the
 * other's reply. A waiting-time request whose longer time-out the port refuses
 * ends the exchange with the port's code (on other ports the exchange goes on
 * with the time-out it has). */
VKTCL_API int VKTCL_Apdu(int handle, unsigned char* apdu, int length, _VKTCL_EVENT_INIT* event);

/* T=CL deselect and presence check of the card, on the caller's thread: the
 * handle codes, -4209 while an APDU, ping or deselect of the transponder runs,
 * else the exchange's result. */
VKTCL_API int VKTCL_Deselect(int handle);
VKTCL_API int VKTCL_Ping(int handle);

/* Copies the response of the last APDU: its length, or -4202 null buffer, the
 * handle codes, -4209 no response ready (an APDU, ping or deselect runs, or a
 * ping or deselect came after it), -4257 buffer smaller than the response
 * (nothing written), -4275 the response is incomplete. After status 0x96 the
 * response is the card's one error byte. */
VKTCL_API int VKTCL_GetResponseData(int handle, unsigned char* buffer, int size);

#ifdef __cplusplus
}
#endif

#endif
