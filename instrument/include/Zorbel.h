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
#include <stdio.h>

#define ZRB_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* A waveform (see "Waveforms and units"), declared here for every section. */
#ifdef __cplusplus
class Waveform;
#else
typedef struct Waveform Waveform;
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

/* One function per instrument command: each sends its request line, waits for
 * the reply and stores the reply's value fields through the outputs given. The
 * result is 8 when not connected and 3 when a required pointer is NULL (both
 * before anything is sent, ZRB_Errno untouched); otherwise it is also left in
 * ZRB_Errno: 0, 10 (not sent; a text holding CR or LF is never sent), 11 (no
 * usable reply: closed, "ERR", a missing field, or a value that cannot be
 * stored while the code is 0) or the instrument's own code, whose message
 * ZRB_ErrorMessage returns. Commands with a waveform argument give 14 when its
 * element text cannot be made (nothing sent, ZRB_Errno untouched).
 *
 * A command whose comment names no reply fields expects the code alone (and,
 * for a non-zero code, the message). Outputs may be NULL; the reply still has
 * to carry their fields. Value fields are stored in order until one is missing
 * or cannot be read: values stored before it stay, also beside a non-zero
 * code. An integer with trailing characters is stored and ends the reading,
 * except in a reply's last field.
 *
 * Byte data goes out as the hex text of ceil(bits / 8) bytes followed by the
 * bit count; waveforms go out as their element text. Hex replies are written
 * into at most max(size, 0) bytes; more digits than fit give 11 (code 0). */

/* --- Reset and triggers --- */

ZRB_API int ZRB_ResetToIdle(void);
ZRB_API int ZRB_TriggerLoopback(void);
ZRB_API int ZRB_TriggerSet(int trigger, int source, int mode, double value);
/* The trigger's flag (the field read as atoi reads it, cut to a byte), also
 * beside a non-zero code. Without a flag to return: 8 when not connected,
 * otherwise the result code as a byte (10 or 11); ZRB_Errno tells which. */
ZRB_API uint8_t ZRB_TriggerHasTriggered(int trigger);
ZRB_API int ZRB_TriggerClearAllScheduled(void);

/* --- RF --- */

/* `text` is required and sent between quotes as given. */
ZRB_API int ZRB_RfLaunchSpy(const char* text, int first, int second, int third);
ZRB_API int ZRB_RfStopSpy(void);
ZRB_API int ZRB_RfFieldOn(int value);
ZRB_API int ZRB_RfFieldOff(int value);
ZRB_API int ZRB_RfCancelOutput(void);
ZRB_API int ZRB_RfSetTechnology(int technology);
ZRB_API int ZRB_RfSetPowerLevel(int level);
ZRB_API int ZRB_RfSetIso15693Modes(int first, int second, int third, int fourth);
ZRB_API int ZRB_RfSetRxTimeOut(double timeOut);
ZRB_API int ZRB_RfSetRxIgnoreDurationNs(double duration);
/* `data` (required) holds `bits` bits. Reply: three integers into values[0..2]
 * (an array of 3 ints). */
ZRB_API int ZRB_RfScheduleRequest(const uint8_t* data, unsigned bits, int value, int* values);
ZRB_API int ZRB_RfAppendScheduledRequest(const uint8_t* data, unsigned bits, int value, int* values);
ZRB_API int ZRB_RfScheduleEof(int value);
/* Sends `first` and `size`. Reply: hex bytes into data (at most `size` bytes),
 * an integer into *count, four integers into values[0..3] (an array of 4 ints). */
ZRB_API int ZRB_RfGetResponse(int first, uint8_t* data, int size, int* count, int* values);

/* --- GPIO --- */

ZRB_API int ZRB_GpioCfgOpenDrain(int pin, uint8_t enable);
ZRB_API int ZRB_GpioUseAsExternalTrigger(int pin);
ZRB_API int ZRB_GpioOutputTriggerSrc(int pin, int source);
/* `waveform` is required. */
ZRB_API int ZRB_GpioScheduleWaveformOutput(int pin, const Waveform* waveform, int trigger, int option);
/* The output's flag; on failure as ZRB_TriggerHasTriggered. */
ZRB_API uint8_t ZRB_GpioWaveformOutputDone(int pin, int trigger);
ZRB_API int ZRB_GpioScheduleStaticOutput(int pin, uint8_t level, int trigger);
ZRB_API int ZRB_GpioCancelOutput(int pin);
/* `duration` in nanoseconds. */
ZRB_API int ZRB_GpioScheduleCapture(int pin, double duration, int trigger);
/* Reply: the capture as element text, read into a new waveform "WaveformOut"
 * stored in *out (an earlier pointer there is overwritten, not released), also
 * beside a non-zero code; the caller deletes it with ZRB_WaveformDelete. With
 * a NULL out the field is still required and no waveform is kept. */
ZRB_API int ZRB_GpioGetCapture(int pin, int trigger, Waveform** out);
/* Reply: an integer, stored in *value as 1 (non-zero) or 0. */
ZRB_API int ZRB_GpioGetValue(int pin, uint8_t* value);
ZRB_API int ZRB_GpioScheduleClockOutput(int pin, double clock, int trigger);
/* `data` (required) holds `bits` bits. */
ZRB_API int ZRB_GpioScheduleBaseband(int pin, const uint8_t* data, unsigned bits, int trigger);
/* `waveform` is required; sends its element text and `size`. Reply: hex bytes
 * into data (at most `size` bytes) and an integer into *count. */
ZRB_API int ZRB_GpioDecodeModulationState(const Waveform* waveform, uint8_t* data, int size, int* count);
/* `text` is required and sent between quotes as given. */
ZRB_API int ZRB_GpioEnableDecoderProbing(const char* text);
ZRB_API int ZRB_GpioDisableDecoderProbing(void);
ZRB_API int ZRB_GpioSetTechnology(int technology);
ZRB_API int ZRB_GpioSetIso15693Modes(int first, int second, int third, int fourth);
ZRB_API int ZRB_GpioCancelAllOutputs(void);

/* ===== Waveforms and units =============================================== */

/* A waveform: the level of one digital line over time, a sequence of elements
 * (absolute time, duration, amplitude) with its own table of time units. Unit 0
 * is the nanosecond and the base of every waveform the library creates; every
 * time and duration returned is in unit 0. The caller owns the waveforms it gets
 * and releases them with ZRB_WaveformDelete. A waveform must not be used by two
 * threads at once.
 *
 * A NULL waveform gives 14 (functions returning a code), -1 (the counts), 1
 * (ZRB_WaveformDuration), -1.0 (ZRB_WaveformGetEndTime) or NULL. */

/* A new empty waveform named `name` (copied); NULL for a NULL name or on failure. */
ZRB_API Waveform* ZRB_WaveformNew(const char* name);

/* Releases a waveform; NULL is ignored. */
ZRB_API void ZRB_WaveformDelete(Waveform* waveform);

/* The number of elements. */
ZRB_API int ZRB_WaveformElements(const Waveform* waveform);

/* The number of elements; sets ZRB_Errno to 0 (left as it is for NULL). */
ZRB_API int ZRB_WaveformGetNbElements(const Waveform* waveform);

/* The element at `index`: 0, or 14 outside [0, count). Each output may be NULL. */
ZRB_API int ZRB_WaveformGetElement(const Waveform* waveform, int index, int* amplitude, double* duration,
                                   double* absoluteTime);

/* The first element holding `time` (absolute time <= time < its end), with its
 * index: 0, or 14 when none does. Each output may be NULL. */
ZRB_API int ZRB_WaveformGetAtTime(const Waveform* waveform, double time, int* amplitude, double* duration,
                                  double* absoluteTime, int* index);

/* Appends `amplitude` for `duration` given in `unit`; an amplitude equal to the
 * last element's lengthens that element. Zero and negative durations are kept.
 * 0, or 14 for an undefined unit (nothing changed). */
ZRB_API int ZRB_WaveformAppend(Waveform* waveform, int amplitude, double duration, int unit);

/* Removes the element at `index`; the later elements keep their times, so a gap
 * opens. 0, or 14 outside [0, count) (nothing changed). */
ZRB_API int ZRB_WaveformRemove(Waveform* waveform, int index);

/* Removes every element; the next append starts again at the start time. 0. */
ZRB_API int ZRB_WaveformClear(Waveform* waveform);

/* Defines (or redefines) `unit` as `value` units of `referenceUnit`. Units
 * defined earlier from a redefined unit keep their size. 0, or 14 for an
 * undefined reference (nothing changed). */
ZRB_API int ZRB_WaveformDefineUnit(Waveform* waveform, int unit, double value, int referenceUnit);

/* A new waveform, named after the source with " (extract)", holding the
 * elements that overlap [begin, end), cut to it when `clip` is non-zero; equal
 * neighbours merge. 0 with the waveform in *out (the caller owns it), or 14 for
 * begin > end or a NULL out (*out untouched). */
ZRB_API int ZRB_WaveformExtract(const Waveform* waveform, Waveform** out, double begin, double end,
                                unsigned char clip);

/* From the first element's start to the last one's end, 0 when empty: 0, or 1
 * on failure (also for a NULL duration). */
ZRB_API int ZRB_WaveformDuration(const Waveform* waveform, double* duration);

/* The end of the last element, or the start time when empty; -1.0 on failure. */
ZRB_API double ZRB_WaveformGetEndTime(const Waveform* waveform);

/* Calls `function` with each element's amplitude, which it may change; equal
 * neighbours are not merged. 0, or 14 for a NULL function. */
ZRB_API int ZRB_WaveformApply(Waveform* waveform, void (*function)(int* amplitude));

/* Removes every element shorter than one period of `frequency` Hz (every
 * element for 0 Hz); the others keep their times, so gaps open. 0 or 14. */
ZRB_API int ZRB_WaveformLowPassFilter(Waveform* waveform, unsigned int frequency);

/* ===== Waveform text and VCD ============================================= */

/* Writes the print text ("[amp: 1; dur: 100; abs: 0] " per element; with a
 * non-zero `limit` below the count only that many, then "...{n more}") and a line
 * feed to `stream`. 0, or 14 for a NULL stream or a failed write. */
ZRB_API int ZRB_WaveformPrint(const Waveform* waveform, FILE* stream, unsigned int limit);

/* The print text in a new text the caller releases with free; NULL on failure. */
ZRB_API char* ZRB_WaveformDumpString(const Waveform* waveform, unsigned int limit);

/* The element text the instrument reads ("amplitude;duration;..." with
 * durations in nanoseconds) in a new text in *out, released with free. 0, or 14
 * (*out untouched). */
ZRB_API int ZRB_WaveformDumpElements(const Waveform* waveform, char** out);

/* A new waveform named `name` from an element text; an empty text gives an
 * empty waveform. NULL for a NULL name or text, or on failure. */
ZRB_API Waveform* ZRB_WaveformNewFromStr(const char* name, const char* text);

/* Writes the waveform as a VCD file (created or truncated). 0, or 14 when the
 * name is NULL or the file cannot be opened or written (a write failing midway
 * may leave a partial file). */
ZRB_API int ZRB_WaveformDumpVcd(const Waveform* waveform, const char* fileName);

/* Writes two waveforms side by side as one VCD file, identifiers '#' and '$'.
 * 0, or 14 as for ZRB_WaveformDumpVcd. */
ZRB_API int ZRB_WaveformsDumpVcd2(const Waveform* first, const Waveform* second, const char* fileName);

/* ===== I2C stimuli ======================================================= */

/* ===== I2C transactions ================================================== */

/* ===== Wire test mode ==================================================== */

#ifdef __cplusplus
}
#endif

#endif
