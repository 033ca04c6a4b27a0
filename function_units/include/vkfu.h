/*
 * libvkfu: function units in the antenna path of a KRN reader, driven through
 * the reader's transparent commands: the antenna tuner (VKFU_DAT_*), the antenna
 * multiplexer (VKFU_MUX_*), both through VKKRN_0xBF_ISOTranspCmd, and the second
 * multiplexer kind (VKFU_UMUX_*) through VKKRN_0xBB_C1G2_TranspCmd.
 *
 * Every unit command takes the reader handle of libvkkrn and the reader's bus
 * address first. Its result:
 *   - a negative code of libvkkrn (or of a port library) as libvkkrn gave it;
 *   - -4132 when the reader reported status 1 (no unit answered), -4031 for
 *     reader status 2, -4134 when the reader answered status 0 without data,
 *     -4130 when the unit's answer has the wrong length;
 *   - any other reader status above 0 as the reader gave it (0x84 with no data
 *     for the DAT and MUX commands);
 *   - DAT and MUX: the unit's status byte (0 for "OK"), which is also kept as
 *     the last unit status;
 *   - UMUX: 0, with the unit's status byte in the caller's status byte.
 *
 * Output pointers are tested first (-4102, nothing sent); version outputs take
 * 7 bytes (DAT, MUX) or 6 (UMUX), value outputs 6. Addresses and values are sent
 * as given: the unit judges them.
 *
 * The last error (g_iLastError) is set to 0 by every call after its pointer
 * tests and changed again only for -4102, -4130, -4132, -4031, -4134 and by the
 * text functions (-4133, -4153). The last unit status (g_ucLastStatus) is
 * written as each command says. Both are process-wide: concurrent callers
 * overwrite each other's values.
 *
 * Texts are English. Text buffers must hold 40 bytes.
 */
#ifndef VKFU_H
#define VKFU_H

#define VKFU_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

/* The library's last error, and the last unit status byte (0 at load). */
extern VKFU_API int g_iLastError;
extern VKFU_API unsigned char g_ucLastStatus;

/* Writes "02.00.00" and sets the last error to 0; a null pointer sets it to
 * -4002 and writes nothing. */
VKFU_API void VKFU_GetDLLVersion(char* version);
/* The text of a code: 0; an unknown code gets "VKFU: Unknown Errorcode (<code>)"
 * and -4153. The last error becomes the result. Null text: -4102. */
VKFU_API int VKFU_GetErrorText(int code, char* text);
/* The text of the low byte of status: 0; an unknown byte gets
 * "VKFU: Unknown Statusbyte (0x<hh>)" and -4133. The last error becomes the
 * result. Null text: -4102. */
VKFU_API int VKFU_GetStatusText(int status, char* text);
/* The text of the last unit status: the last status byte, or the negative
 * result of VKFU_GetStatusText. Null text: -4102. */
VKFU_API int VKFU_GetLastState(char* text);
/* Stores the last error in *code and returns VKFU_GetErrorText(*code, text), so
 * reading the last error replaces it. Either pointer null: -4102. */
VKFU_API int VKFU_GetLastError(int* code, char* text);

/* Antenna tuner. */
VKFU_API int VKFU_DAT_SoftVersion(int readerHnd, unsigned char busAdr, unsigned char unitAdr,
                                  unsigned char* version);
VKFU_API int VKFU_DAT_CPUReset(int readerHnd, unsigned char busAdr, unsigned char unitAdr);
VKFU_API int VKFU_DAT_SetCapacities(int readerHnd, unsigned char busAdr, unsigned char unitAdr,
                                    unsigned char value1, unsigned char value2);
VKFU_API int VKFU_DAT_GetValues(int readerHnd, unsigned char busAdr, unsigned char unitAdr,
                                unsigned char* values);
VKFU_API int VKFU_DAT_SetOutput(int readerHnd, unsigned char busAdr, unsigned char unitAdr,
                                unsigned char value);
VKFU_API int VKFU_DAT_ReTuning(int readerHnd, unsigned char busAdr, unsigned char unitAdr);
VKFU_API int VKFU_DAT_StartTuning(int readerHnd, unsigned char busAdr, unsigned char unitAdr);
VKFU_API int VKFU_DAT_SwitchAntenna(int readerHnd, unsigned char busAdr, unsigned char unitAdr);
VKFU_API int VKFU_DAT_StoreSettings(int readerHnd, unsigned char busAdr, unsigned char unitAdr);
VKFU_API int VKFU_DAT_Detect(int readerHnd, unsigned char busAdr, unsigned char unitAdr);
VKFU_API int VKFU_DAT_SetAddress(int readerHnd, unsigned char busAdr, unsigned char unitAdr,
                                 unsigned char newAdr);
VKFU_API int VKFU_DAT_SetMode(int readerHnd, unsigned char busAdr, unsigned char unitAdr, unsigned char mode);

/* Antenna multiplexer. */
VKFU_API int VKFU_MUX_SoftVersion(int readerHnd, unsigned char busAdr, unsigned char unitAdr,
                                  unsigned char* version);
VKFU_API int VKFU_MUX_CPUReset(int readerHnd, unsigned char busAdr, unsigned char unitAdr);
VKFU_API int VKFU_MUX_SelectChannel(int readerHnd, unsigned char busAdr, unsigned char unitAdr,
                                    unsigned char value1, unsigned char value2);
VKFU_API int VKFU_MUX_Detect(int readerHnd, unsigned char busAdr, unsigned char unitAdr);

/* Second multiplexer kind. VKFU_UMUX_SoftVersion copies the version only when
 * the unit reported status 0; VKFU_UMUX_Detect_GetPower copies what the unit
 * reported whatever its status. */
VKFU_API int VKFU_UMUX_SoftVersion(int readerHnd, unsigned char busAdr, unsigned char value1,
                                   unsigned char value2, unsigned char* status, unsigned char* version);
VKFU_API int VKFU_UMUX_CPUReset(int readerHnd, unsigned char busAdr, unsigned char value1,
                                unsigned char value2, unsigned char* status);
VKFU_API int VKFU_UMUX_SelectChannel(int readerHnd, unsigned char busAdr, unsigned char value1,
                                     unsigned char value2, unsigned char value3, unsigned char* status);
VKFU_API int VKFU_UMUX_Detect_GetPower(int readerHnd, unsigned char busAdr, unsigned char value1,
                                       unsigned char value2, unsigned char* status, unsigned char* values);

#ifdef __cplusplus
}
#endif

#endif
