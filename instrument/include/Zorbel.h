/* Control library of the RF test instrument: one TCP session with the
 * instrument, its command set, waveforms, I2C stimuli and the wire test mode.
 *
 * Valid C and C++. Every function returns at once with a result code unless its
 * section says otherwise:
 *   0  success              3  a required pointer is NULL
 *   8  not connected, or the connection cannot be opened
 *   9  disconnect failed    10 the request could not be sent
 *   11 no usable reply      14 an exception inside a waveform operation
 *   any other value is the instrument's own code.
 *
 * Each part of the library keeps its own section below, so sections are added
 * without touching one another. */
#ifndef ZORBEL_H
#define ZORBEL_H

#include <stddef.h>
#include <stdint.h>

#define ZRB_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* ===== Session: connection, result and last message ===================== */

/* Result code of the last instrument command that got as far as sending. */
ZRB_API extern int ZRB_Errno;

/* Opens the connection to port 5000 of `host`. Mode 1 requires a host (NULL
 * gives 3); with any other mode a NULL host means the local machine. An open
 * connection is closed first. 0 or 8. */
ZRB_API int ZRB_Connect(int mode, const char* host);

/* Closes the connection: 0, or 9 when the socket could not be shut down (it is
 * closed all the same). 0 when not connected. */
ZRB_API int ZRB_Disconnect(void);

/* The instrument's message of the last failing reply; "" before any. The text
 * belongs to the library and stays valid until the next failing reply. */
ZRB_API const char* ZRB_ErrorMessage(void);

/* ===== Instrument commands =============================================== */

/* ===== Waveforms and units =============================================== */

/* ===== Waveform text and VCD ============================================= */

/* ===== I2C stimuli ======================================================= */

/* ===== I2C transactions ================================================== */

/* ===== Wire test mode ==================================================== */

#ifdef __cplusplus
}
#endif

#endif
