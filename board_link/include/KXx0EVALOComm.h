/* Exported interface of the evaluation-board link libraries KX10EVALOComm and
 * KX20EVALOComm.
 *
 * Callers load a library by name and look its operations up by their decorated
 * names ("_mosaInitialize@4": underscore, name, "@", 4 x the argument count);
 * the libraries define the bare names declared below with C linkage. C++
 * callers find every decorated name with its byte count in
 * kxx0::kDecoratedNames. */
#ifndef KXX0EVALOCOMM_H
#define KXX0EVALOCOMM_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The boards on the USB bus: the maker's vendor id (the same as the QM30
 * dongle's) and the product ids of the KX10 board (first-board library) and the
 * KX20 board. Enumerators rather than macros, so that this header and the
 * dongle's, which names the vendor id too, can meet in one source. */
enum { KESTO_VENDOR_ID = 0x4B45, KX10_PRODUCT_ID = 0x3721, KX20_PRODUCT_ID = 0x3724 };

/* One connected board; made by GetKX10, destroyed by ReleaseKX10. */
typedef struct tagKXx0HANDLE* KXx0HANDLE;

/* Results of the operations and the board firmware's status numbering. A
 * result may also be a widened status byte or a negative link error, so C++
 * gives the type all of 32 bits. */
#ifdef __cplusplus
#define KXX0_RESULT_BASE : int32_t
#else
#define KXX0_RESULT_BASE
#endif
typedef enum KXx0ComError KXX0_RESULT_BASE {
    NoError = 0,
    NoMemory = 1,
    Busy = 2,
    IOError = 3,
    Timeout = 4,
    RequestError = 5,
    NoMessage = 6,
    ParameterError = 7,
    SystemError = 8,
    FramingError = 9,
    OverrunError = 10,
    ProtoError = 11,
    Internal = 12,
    AgainError = 13,
    Mem_corruptError = 14,
    Not_implementedError = 15,
    PC_corruptError = 16,
    SendError = 17,
    Ignore_Error = 18,
    SemanticError = 19,
    SyntaxError = 20,
    CRCerror = 21,
    NotFound = 22,
    NotuniqueError = 23,
    NotSupported = 24,
    WriteError = 25,
    FifoError = 26,
    ParError = 27,
    DoneError = 28,
    RF_collisionError = 29,
    HW_overrunError = 30,
    Release_reqError = 31,
    Sleep_reqError = 32,
    Wrong_stateError = 33,
    Max_rerunsError = 34,
    DisabledError = 35,
    HW_mismatchError = 36,
    Link_lossError = 37,
    Invalid_handleError = 38,
    Incomplete_byteError = 40,
    Incomplete_byte_01Error = 41,
    Incomplete_byte_02Error = 42,
    Incomplete_byte_03Error = 43,
    Incomplete_byte_04Error = 44,
    Incomplete_byte_05Error = 45,
    Incomplete_byte_06Error = 46,
    Incomplete_byte_07Error = 47
} KXx0ComError;

/* RF-layer codes, passed to the board unchanged. Modes and bit rates are one
 * byte, the rest 32 bits; times are carrier cycles (13560 make 1 ms). */
enum {
    MOSA_MODE_NONE = 0,
    MOSA_MODE_POLL_NFCA = 1,
    MOSA_MODE_POLL_NFCA_T1T = 2,
    MOSA_MODE_POLL_NFCB = 3,
    MOSA_MODE_POLL_B_PRIME = 4,
    MOSA_MODE_POLL_B_CTS = 5,
    MOSA_MODE_POLL_NFCF = 6,
    MOSA_MODE_POLL_NFCV = 7,
    MOSA_MODE_POLL_PICOPASS = 8,
    MOSA_MODE_POLL_ACTIVE_P2P = 9,
    MOSA_MODE_LISTEN_NFCA = 10,
    MOSA_MODE_LISTEN_NFCB = 11,
    MOSA_MODE_LISTEN_NFCF = 12,
    MOSA_MODE_LISTEN_ACTIVE_P2P = 13
};

enum {
    MOSA_BR_106 = 0,
    MOSA_BR_212 = 1,
    MOSA_BR_424 = 2,
    MOSA_BR_848 = 3,
    MOSA_BR_1695 = 4,
    MOSA_BR_3390 = 5,
    MOSA_BR_6780 = 6,
    MOSA_BR_52p97 = 235,
    MOSA_BR_26p48 = 236,
    MOSA_BR_1p66 = 237,
    MOSA_BR_KEEP = 255
};

enum {
    MOSA_TXRX_FLAGS_CRC_TX_AUTO = 0,
    MOSA_TXRX_FLAGS_CRC_TX_MANUAL = 1,
    MOSA_TXRX_FLAGS_CRC_RX_KEEP = 2,
    MOSA_TXRX_FLAGS_CRC_RX_REMV = 0,
    MOSA_TXRX_FLAGS_NFCIP1_ON = 4,
    MOSA_TXRX_FLAGS_NFCIP1_OFF = 0,
    MOSA_TXRX_FLAGS_AGC_OFF = 8,
    MOSA_TXRX_FLAGS_AGC_ON = 0,
    MOSA_TXRX_FLAGS_PAR_RX_KEEP = 16,
    MOSA_TXRX_FLAGS_PAR_RX_REMV = 0,
    MOSA_TXRX_FLAGS_PAR_TX_NONE = 32,
    MOSA_TXRX_FLAGS_PAR_TX_AUTO = 0,
    MOSA_TXRX_FLAGS_NFCV_FLAG_MANUAL = 64,
    MOSA_TXRX_FLAGS_NFCV_FLAG_AUTO = 0
};

enum {
    MOSA_FDT_LISTEN_NFCA_POLLER = 1108,
    MOSA_FDT_LISTEN_NFCB_POLLER = 1008,
    MOSA_FDT_LISTEN_NFCF_POLLER = 2672,
    MOSA_FDT_LISTEN_NFCV_POLLER = 4192,
    MOSA_FDT_LISTEN_PICOPASS_POLLER = 3400,
    MOSA_FDT_LISTEN_AP2P_POLLER = 64,
    MOSA_FDT_LISTEN_NFCA_LISTENER = 1172,
    MOSA_FDT_LISTEN_NFCB_LISTENER = 1024,
    MOSA_FDT_LISTEN_NFCF_LISTENER = 2688,
    MOSA_FDT_LISTEN_AP2P_LISTENER = 64
};

enum {
    MOSA_FDT_POLL_NFCA_POLLER = 6780,
    MOSA_FDT_POLL_NFCA_T1T_POLLER = 384,
    MOSA_FDT_POLL_NFCB_POLLER = 6780,
    MOSA_FDT_POLL_NFCF_POLLER = 2672,
    MOSA_FDT_POLL_NFCV_POLLER = 4192,
    MOSA_FDT_POLL_PICOPASS_POLLER = 1790,
    MOSA_FDT_POLL_AP2P_POLLER = 0
};

enum {
    MOSA_GT_NFCA = 67800,
    MOSA_GT_NFCB = 67800,
    MOSA_GT_NFCF = 271200,
    MOSA_GT_NFCV = 13560,
    MOSA_GT_NFCV_ADJUSTED = 67800,
    MOSA_GT_PICOPASS = 13560,
    MOSA_GT_AP2P = 67800,
    MOSA_GT_AP2P_ADJUSTED = 406800
};

/* One FeliCa device of a poll answer, as the board sends it. */
typedef struct FelicaPollEntry {
    uint8_t bytes[20];
} FelicaPollEntry;

/* One tag of an ISO 15693 inventory answer, as the board sends it; the UID is
 * least significant byte first. */
typedef struct Iso15693InventoryEntry {
    uint8_t head[2];
    uint8_t uid[8];
} Iso15693InventoryEntry;

#ifdef __cplusplus
static_assert(sizeof(FelicaPollEntry) == 20, "FelicaPollEntry is 20 bytes");
static_assert(sizeof(Iso15693InventoryEntry) == 10, "Iso15693InventoryEntry is 10 bytes");
#else
_Static_assert(sizeof(FelicaPollEntry) == 20, "FelicaPollEntry is 20 bytes");
_Static_assert(sizeof(Iso15693InventoryEntry) == 10, "Iso15693InventoryEntry is 10 bytes");
#endif

/* Board object, versions and texts. */
KXx0HANDLE GetKX10(void);
void ReleaseKX10(KXx0HANDLE handle);
KXx0ComError checkConnection(KXx0HANDLE handle);
KXx0ComError getFirmwareVersion(KXx0HANDLE handle, uint32_t* version);
KXx0ComError getVersion(char* name, char* version);
const char* decodeFWError(KXx0HANDLE handle, KXx0ComError code);

/* RF abstraction layer. */
KXx0ComError mosaInitialize(KXx0HANDLE handle);
KXx0ComError mosaDeinitialize(KXx0HANDLE handle);
KXx0ComError mosaFieldOnAndStarGT(KXx0HANDLE handle);
KXx0ComError mosaFieldOff(KXx0HANDLE handle);
KXx0ComError antennaEnableRFField(KXx0HANDLE handle, bool on);
KXx0ComError mosaSetMode(KXx0HANDLE handle, uint8_t mode, uint8_t txBr, uint8_t rxBr);
KXx0ComError mosaSetBitrate(KXx0HANDLE handle, uint8_t txBr, uint8_t rxBr);
KXx0ComError setCarrierBitrate(KXx0HANDLE handle, uint8_t txBr, uint8_t rxBr);
KXx0ComError mosaSetFDTPoll(KXx0HANDLE handle, uint32_t fdt);
KXx0ComError mosaSetFDTListen(KXx0HANDLE handle, uint32_t fdt);
KXx0ComError mosaSetGT(KXx0HANDLE handle, uint32_t gt);
KXx0ComError mosaStartTransceive(KXx0HANDLE handle, const uint8_t* tx, uint16_t txBits, uint32_t flags,
                                 uint32_t fwt);
KXx0ComError mosaGetTransceiveStatus(KXx0HANDLE handle, uint8_t* rx, uint16_t rxCap, uint16_t* rcvLen);
KXx0ComError mosaTransceiveBlockingTx(KXx0HANDLE handle, const uint8_t* tx, uint16_t txLen, uint32_t flags,
                                      uint32_t fwt);
KXx0ComError mosaTransceiveBlockingRx(KXx0HANDLE handle, uint8_t* rx, uint16_t rxCap, uint16_t* rcvLen);
KXx0ComError mosaTransceiveBlockingTxRx(KXx0HANDLE handle, const uint8_t* tx, uint16_t txLen, uint8_t* rx,
                                        uint16_t rxCap, uint16_t* rcvLen, uint32_t flags, uint32_t fwt);
KXx0ComError mosaISO14443ATransceiveShortFrame(KXx0HANDLE handle, uint8_t frameCode, uint8_t* rx,
                                               uint8_t rxCap, uint16_t* rcvLen, uint32_t fwt);
/* `frame` is sent and written back: it holds *bytesToSend + 5 bytes, one more
 * when *bitsToSend is not 0. An anticollision frame has at most 7 bytes, the
 * last possibly partial: *bitsToSend above 7, or more than 7 bytes with the
 * partial one, give ParameterError and nothing is sent, so at most 12 frame
 * bytes are read or written. */
KXx0ComError mosaISO14443ATransceiveAnticollisionFrame(KXx0HANDLE handle, uint8_t* frame,
                                                       uint8_t* bytesToSend, uint8_t* bitsToSend,
                                                       uint16_t* rcvLen, uint32_t fwt);
KXx0ComError mosaISO15693TransceiveAnticollisionFrame(KXx0HANDLE handle, uint8_t* tx, uint8_t txLen,
                                                      uint8_t* rx, uint8_t rxCap, uint16_t* rcvLen);
KXx0ComError mosaISO15693TransceiveAnticollisionEOF(KXx0HANDLE handle, uint8_t* rx, uint8_t rxCap,
                                                    uint16_t* rcvLen);
KXx0ComError mosaISO15693TransceiveEOF(KXx0HANDLE handle, uint8_t* rx, uint8_t rxCap, uint16_t* rcvLen);
KXx0ComError mosaFeliCaPoll(KXx0HANDLE handle, uint8_t slotCount, uint16_t systemCode, uint8_t requestCode,
                            FelicaPollEntry* list, uint8_t listSize, uint8_t* devices, uint8_t* collisions);

/* Antenna, interrupts, chip commands and registers, raw transfer. */
KXx0ComError antennaGetVector(KXx0HANDLE handle, double* amplitude, double* phase);
KXx0ComError antennaRecalibrate(KXx0HANDLE handle);
/* Chip register 0x23 into *first and register 0x21 into *second: 0, or the
 * status (1, or 2 for another pid) of the first read whose answer did not come
 * whole; that output and any later one keep their values. */
KXx0ComError antennaGetTriTre(KXx0HANDLE handle, int* first, int* second);
/* KX10EVALOComm only. */
void antennaSetTrimVal(KXx0HANDLE handle, int value);
KXx0ComError pollInterrupt(KXx0HANDLE handle, uint8_t mask, uint8_t* first, uint8_t* second);
KXx0ComError directCommand(KXx0HANDLE handle, int code, int* answer);
/* 0 with the register's value in *value, or RequestError when the board's
 * answer did not come whole (*value keeps its value). */
KXx0ComError readRegister(KXx0HANDLE handle, uint8_t reg, uint8_t* value);
KXx0ComError writeRegister(KXx0HANDLE handle, uint8_t reg, uint8_t value);
KXx0ComError txrxBytes(KXx0HANDLE handle, const char* tx, size_t txLen, char* rx, size_t* rxLen,
                       uint32_t* value);

/* ISO 14443-A. */
KXx0ComError iso14443aInit(KXx0HANDLE handle);
KXx0ComError iso14443aSelect(KXx0HANDLE handle, uint8_t requestCode, bool flag, char* uid, size_t* uidLen,
                             char* atqa, char* sak);
KXx0ComError iso14443aHalt(KXx0HANDLE handle, char* rx, size_t* rxLen);
KXx0ComError iso14443aRATS(KXx0HANDLE handle, int p1, int p2, char* ats, size_t* atsLen);
KXx0ComError iso14443aPPS(KXx0HANDLE handle, int cid, int dsRate, int drRate, bool change, char* rx,
                          size_t* rxLen);
KXx0ComError iso14443aDeselect(KXx0HANDLE handle, char* rx, size_t* rxLen);
KXx0ComError iso14443aDeinit(KXx0HANDLE handle, bool flag);

/* ISO 14443-B. */
KXx0ComError iso14443bInit(KXx0HANDLE handle);
KXx0ComError iso14443bSelect(KXx0HANDLE handle, bool flag, uint8_t p2, uint8_t p3, char* out);
KXx0ComError iso14443bHalt(KXx0HANDLE handle, const char* pupi, char* rx, size_t* rxLen);
KXx0ComError iso14443bWriteAttrb(KXx0HANDLE handle, const char* pupi, int dsi, int dri, int fsdi, uint8_t p6,
                                 uint8_t p7, char* rx, size_t* rxLen);
KXx0ComError iso14443bDeselect(KXx0HANDLE handle, char* rx, size_t* rxLen);
KXx0ComError iso14443bDeinit(KXx0HANDLE handle, bool flag);

/* ISO 15693; UIDs are 8 bytes, a null one addresses the selected tag. */
KXx0ComError iso15693Initialise(KXx0HANDLE handle, int p1, bool p2);
KXx0ComError iso15693sendInventoryRequest(KXx0HANDLE handle, int slots16, Iso15693InventoryEntry* entries,
                                          size_t* count);
KXx0ComError iso15693StayQuiet(KXx0HANDLE handle, const char* uid);
KXx0ComError iso15693Select(KXx0HANDLE handle, const char* uid);
KXx0ComError iso15693GetSystemInformation(KXx0HANDLE handle, const char* uid, char* rx, size_t* rxLen);
KXx0ComError iso15693ReadBlock(KXx0HANDLE handle, const char* uid, uint8_t block, char* rx, size_t* rxLen);
KXx0ComError iso15693WriteBlock(KXx0HANDLE handle, const char* uid, uint8_t block, const char* data,
                                size_t dataLen, char* rx, size_t* rxLen, bool option);
KXx0ComError iso15693TxRxNBytes(KXx0HANDLE handle, const char* tx, size_t txLen, char* rx, size_t* rxLen,
                                uint16_t param);
KXx0ComError iso15693PhyTxRxNBytes(KXx0HANDLE handle, const char* tx, size_t txLen, char* rx, size_t* rxLen,
                                   uint16_t param);
KXx0ComError iso15693Deinit(KXx0HANDLE handle, bool flag);

/* FeliCa. */
KXx0ComError felicaInitialize(KXx0HANDLE handle);
KXx0ComError felicaPoll(KXx0HANDLE handle, int p1, int p2, int p3, int p4, FelicaPollEntry* list,
                        size_t* count, size_t* collisions);
KXx0ComError felicaTxRxNBytes(KXx0HANDLE handle, const char* tx, size_t txLen, char* rx, size_t* rxLen);
KXx0ComError felicaDeInitialize(KXx0HANDLE handle, bool flag);

/* Kovio. */
KXx0ComError kovioInitialise(KXx0HANDLE handle);
KXx0ComError kovioRead(KXx0HANDLE handle, char* rx, size_t* rxLen);
KXx0ComError kovioDeinit(KXx0HANDLE handle, bool flag);

/* MIFARE and MIFARE Ultralight. */
KXx0ComError mifareInit(KXx0HANDLE handle);
KXx0ComError mifareAuthenticate(KXx0HANDLE handle, uint32_t block, const char* uid, size_t uidLen,
                                const char* key, bool keyFlag);
KXx0ComError mifareSendRequest(KXx0HANDLE handle, char* tx, size_t txLen, char* rx, size_t* rxLen);
KXx0ComError mifareReadBlock(KXx0HANDLE handle, uint32_t block, char* rx, size_t* rxLen);
KXx0ComError mifareWriteBlock(KXx0HANDLE handle, uint32_t block, const char* data, size_t dataLen);
KXx0ComError mifareDeinit(KXx0HANDLE handle, bool flag);
KXx0ComError mifareUlRead4Pages(KXx0HANDLE handle, int page, char* rx, size_t* rxLen);
KXx0ComError mifareUlWritePage(KXx0HANDLE handle, int page, const char* data, size_t dataLen);
KXx0ComError mifareUlLockPage(KXx0HANDLE handle, int page);

/* NFC byte transfer. */
KXx0ComError nfcInitialize(KXx0HANDLE handle, bool p1, bool p2, uint8_t p3, uint8_t p4);
KXx0ComError nfcTxNBytes(KXx0HANDLE handle, const char* tx, size_t txLen);
KXx0ComError nfcRxNBytes(KXx0HANDLE handle, char* rx, size_t* rxLen);
KXx0ComError nfcSetTxBitrate(KXx0HANDLE handle, uint8_t rate);
KXx0ComError nfcSetRxBitrate(KXx0HANDLE handle, uint8_t rate);
KXx0ComError nfcDeInitialize(KXx0HANDLE handle);

/* Topaz. */
KXx0ComError topazInitialise(KXx0HANDLE handle);
KXx0ComError topazInventory(KXx0HANDLE handle, char* first, char* second, char* third);
KXx0ComError topazReadUID(KXx0HANDLE handle, char* uid, char* second);
KXx0ComError topazReadAll(KXx0HANDLE handle, const char* uid, char* rx, size_t* rxLen);
KXx0ComError topazWriteByte(KXx0HANDLE handle, const char* uid, uint8_t address, uint8_t data);
KXx0ComError topazDeinit(KXx0HANDLE handle, bool flag);

#ifdef __cplusplus
} /* extern "C" */

/* Every operation as X(name, argument bytes): the operations of both libraries,
 * then those of the first-board library alone. */
#define KXX0_COMMON_OPERATIONS(X)                                                                            \
    X(GetKX10, 0)                                                                                            \
    X(ReleaseKX10, 4)                                                                                        \
    X(checkConnection, 4)                                                                                    \
    X(getFirmwareVersion, 8)                                                                                 \
    X(getVersion, 8)                                                                                         \
    X(decodeFWError, 8)                                                                                      \
    X(mosaInitialize, 4)                                                                                     \
    X(mosaDeinitialize, 4)                                                                                   \
    X(mosaFieldOnAndStarGT, 4)                                                                               \
    X(mosaFieldOff, 4)                                                                                       \
    X(antennaEnableRFField, 8)                                                                               \
    X(mosaSetMode, 16)                                                                                       \
    X(mosaSetBitrate, 12)                                                                                    \
    X(setCarrierBitrate, 12)                                                                                 \
    X(mosaSetFDTPoll, 8)                                                                                     \
    X(mosaSetFDTListen, 8)                                                                                   \
    X(mosaSetGT, 8)                                                                                          \
    X(mosaStartTransceive, 20)                                                                               \
    X(mosaGetTransceiveStatus, 16)                                                                           \
    X(mosaTransceiveBlockingTx, 20)                                                                          \
    X(mosaTransceiveBlockingRx, 16)                                                                          \
    X(mosaTransceiveBlockingTxRx, 32)                                                                        \
    X(mosaISO14443ATransceiveShortFrame, 24)                                                                 \
    X(mosaISO14443ATransceiveAnticollisionFrame, 24)                                                         \
    X(mosaISO15693TransceiveAnticollisionFrame, 24)                                                          \
    X(mosaISO15693TransceiveAnticollisionEOF, 16)                                                            \
    X(mosaISO15693TransceiveEOF, 16)                                                                         \
    X(mosaFeliCaPoll, 32)                                                                                    \
    X(antennaGetVector, 12)                                                                                  \
    X(antennaRecalibrate, 4)                                                                                 \
    X(antennaGetTriTre, 12)                                                                                  \
    X(pollInterrupt, 16)                                                                                     \
    X(directCommand, 12)                                                                                     \
    X(readRegister, 12)                                                                                      \
    X(writeRegister, 12)                                                                                     \
    X(txrxBytes, 24)                                                                                         \
    X(iso14443aInit, 4)                                                                                      \
    X(iso14443aSelect, 28)                                                                                   \
    X(iso14443aHalt, 12)                                                                                     \
    X(iso14443aRATS, 20)                                                                                     \
    X(iso14443aPPS, 28)                                                                                      \
    X(iso14443aDeselect, 12)                                                                                 \
    X(iso14443aDeinit, 8)                                                                                    \
    X(iso14443bInit, 4)                                                                                      \
    X(iso14443bSelect, 20)                                                                                   \
    X(iso14443bHalt, 16)                                                                                     \
    X(iso14443bWriteAttrb, 36)                                                                               \
    X(iso14443bDeselect, 12)                                                                                 \
    X(iso14443bDeinit, 8)                                                                                    \
    X(iso15693Initialise, 12)                                                                                \
    X(iso15693sendInventoryRequest, 16)                                                                      \
    X(iso15693StayQuiet, 8)                                                                                  \
    X(iso15693Select, 8)                                                                                     \
    X(iso15693GetSystemInformation, 16)                                                                      \
    X(iso15693ReadBlock, 20)                                                                                 \
    X(iso15693WriteBlock, 32)                                                                                \
    X(iso15693TxRxNBytes, 24)                                                                                \
    X(iso15693PhyTxRxNBytes, 24)                                                                             \
    X(iso15693Deinit, 8)                                                                                     \
    X(felicaInitialize, 4)                                                                                   \
    X(felicaPoll, 32)                                                                                        \
    X(felicaTxRxNBytes, 20)                                                                                  \
    X(felicaDeInitialize, 8)                                                                                 \
    X(kovioInitialise, 4)                                                                                    \
    X(kovioRead, 12)                                                                                         \
    X(kovioDeinit, 8)                                                                                        \
    X(mifareInit, 4)                                                                                         \
    X(mifareAuthenticate, 24)                                                                                \
    X(mifareSendRequest, 20)                                                                                 \
    X(mifareReadBlock, 16)                                                                                   \
    X(mifareWriteBlock, 16)                                                                                  \
    X(mifareDeinit, 8)                                                                                       \
    X(mifareUlRead4Pages, 16)                                                                                \
    X(mifareUlWritePage, 16)                                                                                 \
    X(mifareUlLockPage, 8)                                                                                   \
    X(nfcInitialize, 20)                                                                                     \
    X(nfcTxNBytes, 12)                                                                                       \
    X(nfcRxNBytes, 12)                                                                                       \
    X(nfcSetTxBitrate, 8)                                                                                    \
    X(nfcSetRxBitrate, 8)                                                                                    \
    X(nfcDeInitialize, 4)                                                                                    \
    X(topazInitialise, 4)                                                                                    \
    X(topazInventory, 16)                                                                                    \
    X(topazReadUID, 12)                                                                                      \
    X(topazReadAll, 16)                                                                                      \
    X(topazWriteByte, 16)                                                                                    \
    X(topazDeinit, 8)

#define KXX0_FIRST_BOARD_OPERATIONS(X) X(antennaSetTrimVal, 8)

namespace kxx0 {

struct DecoratedName {
    const char* decorated; // "_name@N"
    unsigned bytes;        // N: 4 x the argument count
    bool firstBoardOnly;   // exported by KX10EVALOComm alone
};

template <typename F> struct ArgumentBytes;
template <typename R, typename... A> struct ArgumentBytes<R(A...)> {
    static constexpr unsigned value = 4 * sizeof...(A);
};

#define KXX0_DECORATED_COMMON(name, bytes) {"_" #name "@" #bytes, bytes, false},
#define KXX0_DECORATED_FIRST(name, bytes) {"_" #name "@" #bytes, bytes, true},
inline constexpr DecoratedName kDecoratedNames[] = {KXX0_COMMON_OPERATIONS(KXX0_DECORATED_COMMON)
                                                        KXX0_FIRST_BOARD_OPERATIONS(KXX0_DECORATED_FIRST)};
#undef KXX0_DECORATED_COMMON
#undef KXX0_DECORATED_FIRST

#define KXX0_CHECK_BYTES(name, bytes)                                                                        \
    static_assert(ArgumentBytes<decltype(::name)>::value == bytes, "@N of " #name);
KXX0_COMMON_OPERATIONS(KXX0_CHECK_BYTES)
KXX0_FIRST_BOARD_OPERATIONS(KXX0_CHECK_BYTES)
#undef KXX0_CHECK_BYTES

} // namespace kxx0
#endif

#endif
