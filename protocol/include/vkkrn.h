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

#ifdef __cplusplus
}
#endif

#endif
