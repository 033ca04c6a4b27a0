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

/* One caller at a time: the library keeps one connection for the whole process
 * and takes no lock, so only one thread at a time may use it, that is call
 * ZRB_Connect, ZRB_Disconnect, an instrument command or a function of the I2C
 * and wire test-mode sections that sends commands (ZRB_I2cTransactionIsDone
 * too), or read ZRB_Errno and ZRB_ErrorMessage. Every command blocks its caller
 * until the reply has been read, with no time-out (connect, send and receive
 * wait as long as the system lets them). Two threads on the connection at once
 * get each other's replies, or one of them waits for ever. */

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
 * undefined reference or for unit 0, the nanosecond, which cannot be redefined
 * (nothing changed). */
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

/* The SCL and SDA waveforms an I2C bus master plays on two pins, built on the
 * host element by element. All times are nanoseconds; the bit period is
 * T = 1e9 / frequency. SDA level 2 marks where the device, not the master,
 * drives the line (the data bits of a read byte, the acknowledge bit of a
 * written byte). Nothing checks that the elements form a well-formed frame.
 *
 * Every function taking a stimuli gives 3 for a NULL one and changes nothing;
 * an array that is NULL while its count is above 0 gives 3 as well. The
 * appends that need the bit period give 1 and append nothing for a stimuli of
 * 0 Hz. A failing waveform append gives its code (14) and ends the element,
 * keeping what it appended before.
 *
 * Element texts carry whole nanoseconds: where T / 4 is not whole, what the
 * instrument plays drifts from the times recorded here by the rounding. */

#ifdef __cplusplus
struct ZRB_I2cStimuli;
#else
typedef struct ZRB_I2cStimuli ZRB_I2cStimuli;
#endif

/* One clock stretch of a read byte or of the acknowledge bit the master gives:
 * BitIndex 0..7 the data bits (0 the most significant), 8 the acknowledge bit;
 * Phase 0 stretches SCL low before the rising edge, 1 SCL high after the high
 * half-period, any other phase is ignored; DurationUs in microseconds, 0 for
 * none. A later entry for the same bit and phase replaces an earlier one. */
typedef struct ZRB_I2cClockStretch {
    uint8_t BitIndex;
    uint8_t Phase;
    double DurationUs;
} ZRB_I2cClockStretch;

/* A new stimuli for the bus frequency in Hz, or NULL. */
ZRB_API ZRB_I2cStimuli* ZRB_I2cStimuliAllocate(uint32_t frequencyHz);

/* Releases a stimuli; NULL is ignored. A stimuli a transaction holds is not
 * freed (it goes with its last transaction). */
ZRB_API void ZRB_I2cStimuliFree(ZRB_I2cStimuli* stimuli);

/* A start condition (T / 2), or with a non-zero `repeated` a repeated start (T). */
ZRB_API int ZRB_I2cStimuliAppendStart(ZRB_I2cStimuli* stimuli, int repeated);

/* A stop condition (T); both lines end high. */
ZRB_API int ZRB_I2cStimuliAppendStop(ZRB_I2cStimuli* stimuli);

/* A written byte and the device's acknowledge bit (9 T). 0, 1 when its
 * acknowledge window could not be recorded, or a waveform code. */
ZRB_API int ZRB_I2cStimuliAppendWriteByte(ZRB_I2cStimuli* stimuli, uint8_t byte);

/* The bytes in order; the result of the first that fails. */
ZRB_API int ZRB_I2cStimuliAppendWriteBytes(ZRB_I2cStimuli* stimuli, const uint8_t* bytes, uint32_t count);

/* A byte the device sends, then the master's acknowledge bit at `ackLevel`
 * (0 ACK, 1 NACK), stretched as `stretches` says (NULL allowed). */
ZRB_API int ZRB_I2cStimuliAppendReadByte(ZRB_I2cStimuli* stimuli, uint8_t ackLevel,
                                         const ZRB_I2cClockStretch* stretches, uint32_t stretchCount);

/* `count` read bytes, ackLevels[i] (low 8 bits) for the i-th; the same
 * stretches for every byte. The result of the first that fails. */
ZRB_API int ZRB_I2cStimuliAppendReadBytes(ZRB_I2cStimuli* stimuli, const int32_t* ackLevels, uint32_t count,
                                          const ZRB_I2cClockStretch* stretches, uint32_t stretchCount);

/* Both lines held at the given levels for `durationNs` (SDA first, then SCL). */
ZRB_API int ZRB_I2cStimuliAppendSteady(ZRB_I2cStimuli* stimuli, uint8_t sclLevel, uint8_t sdaLevel,
                                       double durationNs);

/* The test-mode preamble: 14 steps of D = 1.5 T on SCL, 13 on SDA. It leaves
 * SCL one D longer than SDA, so every element appended after it starts D later
 * on SCL than on SDA. */
ZRB_API int ZRB_I2cStimuliAppendTestMode(ZRB_I2cStimuli* stimuli);

/* The time of the SCL rising edge of the index-th data or acknowledge bit
 * (counting the bits of bytes only), stored through timeNs unless it is NULL:
 * 0, or 1 for an index past the end (timeNs untouched). */
ZRB_API int ZRB_I2cGetBitTiming(const ZRB_I2cStimuli* stimuli, uint32_t index, double* timeNs);

/* ===== I2C transactions ================================================== */

/* A stimuli scheduled on two pins and a trigger. The caller fires the trigger
 * with the commands above, then decodes the captured lines. The first five
 * fields are read directly; pReadBytes and pAcks belong to the transaction and
 * stay valid until the next ZRB_I2cProcessResponse or ZRB_I2cTransactionFree.
 *
 * The transaction holds its stimuli: the stimuli is freed with the last
 * transaction that holds it, and must not be used afterwards. Times in the
 * captures are taken as times of the stimuli (0 = the trigger).
 *
 * Blocking: ZRB_I2cSchedule and ZRB_I2cProcessResponse wait, in 1 ms sleeps,
 * for the output on the SCL pin and trigger to be done, at most about as long
 * as the stimuli plays, counted from the call. A NULL transaction gives 3. */

/* The immediate trigger, which a transaction never uses. */
#define ZRB_TRGID_IMMEDIATE 0

typedef struct ZRB_I2cTransaction {
    uint8_t* pReadBytes; /* one per read byte of the stimuli; NULL until processed */
    uint32_t NbReadBytes;
    uint8_t* pAcks; /* per written byte, the SDA level at its acknowledge edge (0 ACK) */
    uint32_t NbAcks;
    double DurationNs; /* of the SCL waveform when scheduled */
    struct ZRB_I2cTransactionPrivate* pPrivate;
} ZRB_I2cTransaction;

/* Schedules the captures of both lines and the output of both waveforms on
 * `trigger` (SDA open-drain). NULL for a NULL or empty stimuli, trigger 0,
 * equal pins, or a failing command (whose code stays in ZRB_Errno). */
ZRB_API ZRB_I2cTransaction* ZRB_I2cSchedule(ZRB_I2cStimuli* pI2cStimuli, int PinScl, int PinSda, int trigger);

/* The SCL output's done flag, non-zero when done (8 when not connected). */
ZRB_API uint8_t ZRB_I2cTransactionIsDone(const ZRB_I2cTransaction* transaction);

/* Waits for the output, fetches both captures (once per transaction; filtered
 * when the capture filter is on) and decodes the read bytes and acknowledges.
 * 0; 2 time-out; 1 when SCL is not low where a bit must start or memory runs
 * out; the failing command's code (a failed fetch is fetched again next time);
 * 14 when a capture does not cover the windows. Results decoded before a
 * failure stay; later ones are 0. */
ZRB_API int ZRB_I2cProcessResponse(ZRB_I2cTransaction* transaction);

/* Both captures as one VCD file (SCL '#', SDA '$'): as ZRB_WaveformsDumpVcd2;
 * 14 before they were fetched (no file). */
ZRB_API int ZRB_I2cDumpVcd(const ZRB_I2cTransaction* transaction, const char* fileName);

/* Stores the low 8 bits of `flag`: non-zero drops, from every capture fetched
 * from then on, the levels shorter than a tenth of the bit period. Returns
 * `flag` unchanged. */
ZRB_API int ZRB_I2cEnableCaptureFilter(int flag);

/* As ZRB_I2cGetBitTiming on the transaction's stimuli. */
ZRB_API int ZRB_I2cGetBitTiming2(const ZRB_I2cTransaction* transaction, uint32_t index, double* timeNs);

/* Releases the results, the captures and the transaction's hold on its
 * stimuli; NULL is ignored. */
ZRB_API void ZRB_I2cTransactionFree(ZRB_I2cTransaction* transaction);

/* ===== Wire test mode ==================================================== */

/* Drives a device under test through its wired test interface: four lines on
 * instrument pins, TSTCK (clock into the device), TSTIN (data into it), TSTEN
 * (test enable) and TSTOUT (data out of it), plus an auxiliary pin raised
 * before the device is powered and lowered last, and a supply pin that powers
 * it when the RF field does not (fieldMode other than 1). The instrument does
 * the timing; the library only sends commands, so a failing step returns the
 * command's code and leaves whatever the instrument already applied. Nothing
 * checks the order of the calls: allocate, enter, then any number of requests
 * and responses, then stop.
 *
 * `timeoutMs` is read as unsigned: a negative value is a very long wait. A
 * wait reads TSTOUT, sleeps 1 ms while it has not reached the level, and gives
 * 2 once more than timeoutMs sleeps were made, so at most timeoutMs + 2 reads.
 * One stimuli must not be used by two threads at once. */

#ifdef __cplusplus
struct ZRB_WireTMStimuli;
#else
typedef struct ZRB_WireTMStimuli ZRB_WireTMStimuli;
#endif

/* A new stimuli (the waveforms the test lines play), or NULL. */
ZRB_API ZRB_WireTMStimuli* ZRB_WireTMStimuliAllocate(void);

/* Releases a stimuli with every response it handed out; NULL is ignored. */
ZRB_API void ZRB_WireTMStimuliFree(ZRB_WireTMStimuli* stimuli);

/* Brings the device into test mode: cancels the outputs of the six pins and
 * turns their open drain off, switches the field off, plays TSTCK low and TSTEN
 * and TSTIN high on `trigger` and fires it, raises the auxiliary pin, sleeps
 * 1 ms and releases TSTOUT. With fieldMode 1 it then switches the field on and
 * returns that command's result; otherwise it raises the supply pin and blocks,
 * polling, until the device raises TSTOUT (2 on time-out). A NULL stimuli gives
 * 3 and sends nothing. */
ZRB_API int ZRB_WireTMEntry(ZRB_WireTMStimuli* stimuli, int pinTstck, int pinTstin, int pinTsten,
                            int pinTstout, int pinAux, int pinSupply, int trigger, int timeoutMs,
                            int fieldMode);

/* Sends `requestBits` bits of `request` on TSTIN, clocked at `clock` on TSTCK,
 * through four chained triggers: trigger1 starts the clock, trigger2 lowers
 * TSTEN, trigger3 plays the bits, trigger4 raises TSTIN after them. Then
 * blocks, polling, until the device pulls TSTOUT low (2 on time-out). A NULL
 * stimuli or request gives 3 and sends nothing. */
ZRB_API int ZRB_WireTMSendRequest(ZRB_WireTMStimuli* stimuli, int pinTstck, int pinTstin, int pinTsten,
                                  int pinTstout, double clock, const uint8_t* request, unsigned requestBits,
                                  int timeoutMs, int trigger1, int trigger2, int trigger3, int trigger4);

/* Asks for the response with a pulse on TSTIN and captures TSTOUT meanwhile
 * (trigger1 to trigger3; `unused` is not read). Each response makes the low
 * level played on TSTCK 16 ns longer. 0 when the capture ends with a high
 * level of at least 3000 ns followed by a low level, the capture then stored in
 * *response (when response is not NULL); 1 for any other shape, response
 * untouched; otherwise the failing command's code. The capture belongs to the
 * stimuli, as does every earlier one: a response pointer stays valid until the
 * stimuli is freed. A NULL stimuli gives 3 and sends nothing. */
ZRB_API int ZRB_WireTMGetResponse(ZRB_WireTMStimuli* stimuli, int pinTstck, int pinTstin, int pinTsten,
                                  int pinTstout, int unused, int trigger1, int trigger2, int trigger3,
                                  Waveform** response);

/* Leaves test mode: TSTCK, TSTIN and TSTEN low, the field off (fieldMode 1) or
 * the supply pin low, then the auxiliary pin low (`pinTstout` is not used).
 * On success the stimuli is freed, with its responses, and must not be used
 * again; on failure it is kept (stop again or free it). A NULL stimuli still
 * sends the commands. */
ZRB_API int ZRB_WireTMStop(ZRB_WireTMStimuli* stimuli, int pinTstck, int pinTstin, int pinTsten,
                           int pinTstout, int pinAux, int pinSupply, int fieldMode);

#ifdef __cplusplus
}
#endif

#endif
