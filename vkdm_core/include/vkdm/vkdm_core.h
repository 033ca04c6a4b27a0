// libVkdmKrnCore: the data-manager core of KRN reader modules.
//
// A reader module (VKDM_KRNReaderModule) connects to a reader through libvkkrn
// and the port libraries, and keeps for it: a data memory addressed by parameter
// identifiers, a configuration image, a BRM and an ISO table of transponder
// records, the last reader information and diagnostic, the last error and
// status. Function units (VKDM_KRNFunctionUnit) sit on a reader and keep a data
// memory of their own.
//
// Results are int: 0 success, a positive reader status byte, or a negative code.
// The core's own codes lie in -100 to -999 (GetErrorText names them); codes of
// the port, reader protocol, function-unit and APDU libraries pass unchanged.
//
// Locking: each object has one leaf mutex that guards its data memory, tables
// and records. It is never held while a reader or port library is called, so
// callbacks of those libraries may call into the core. Records keep their
// addresses for the life of their module.
//
// vkdm_core/README.md documents identifiers, names, layouts, files and codes.
#ifndef VKDM_CORE_H
#define VKDM_CORE_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#define VKDM_API __attribute__((visibility("default")))

// Table ids.
#define VKDM_TABLE_BRM 1u
#define VKDM_TABLE_ISO 2u

// Port kinds of a reader module (libvkkrn's communication modes).
#define VKDM_PORT_NONE 255
#define VKDM_PORT_SERIAL 0
#define VKDM_PORT_USB 1
#define VKDM_PORT_TCP 2

class VKDM_KRNReader;
class VKDM_KRNReaderModule;

namespace vkdm {
class DataMemory;
struct ReaderState;
struct ModuleState;
struct UnitState;
struct ModuleAccess;
class Tables;
} // namespace vkdm

// Progress callback of FindBaudRate: (context, attempt 1..n, result of that attempt).
typedef void (*VKDM_FindBaudRateCallback)(void* context, int attempt, int result);

class VKDM_API VKDM_Base {
  public:
    VKDM_Base();
    virtual ~VKDM_Base();

    // Text of a code without an object: 127 characters and a NUL at most; 0 when
    // the code is known.
    static int GetErrorText(char* text, int code);
    // The core's version, three dotted numbers ("04.07.00").
    static std::string GetLibVersion();

    // The serial and USB port libraries (the instances libvkkrn uses) and their
    // functions by PortFunctionId; null when missing.
    static void* LoadViZer();
    static void* LoadVkUsb();
    static void* GetViZerFunction(unsigned int id);
    static void* GetVkUsbFunction(unsigned int id);
};

// Data memory and identity of a reader or function unit.
class VKDM_API VKDM_DataBase : public VKDM_Base {
  public:
    VKDM_DataBase();
    ~VKDM_DataBase() override;
    VKDM_DataBase(const VKDM_DataBase&) = delete;
    VKDM_DataBase& operator=(const VKDM_DataBase&) = delete;

    // Data memory by parameter identifier: seven blank-separated decimal fields,
    // the fifth the field's byte count.
    virtual int GetData(const char* id, bool* value);
    virtual int GetData(const char* id, unsigned char* value);
    virtual int GetData(const char* id, unsigned char* buffer, int count);
    virtual int GetData(const char* id, unsigned int* value);
    virtual int GetData(const char* id, std::string& value);
    // Memory by number: id 1 is the configuration image.
    virtual int GetData(int id, unsigned char* buffer, int address, int count);
    virtual int SetData(const char* id, bool value);
    virtual int SetData(const char* id, unsigned char value);
    virtual int SetData(const char* id, unsigned char* buffer, int count);
    virtual int SetData(const char* id, unsigned int value);
    virtual int SetData(const char* id, std::string value);

    // The access identifier of a configuration parameter name.
    virtual int GetAccessID(std::string name, std::string& id, bool flag);

    void SetBusAddress(unsigned char address);
    unsigned char GetBusAddress();
    const char* GetFamilyCode();
    const char* GetReaderName();
    int GetReaderType();
    int SetReaderType(int type);

    void SetModuleHnd(int handle);
    int GetModuleHnd();
    // The libvkkrn reader handle behind the object (0 when none).
    virtual int GetReaderHnd();

  protected:
    vkdm::DataMemory& Memory();

  private:
    std::unique_ptr<vkdm::DataMemory> m_memory;
    std::atomic<int> m_moduleHnd{0};
    std::atomic<unsigned char> m_busAddress{0xFF};
    std::atomic<int> m_readerType{0};
    char m_familyCode[32];
    char m_readerName[128];

    friend class VKDM_KRNReader;
    friend class VKDM_KRNReaderModule;
};

class VKDM_BRMTabItem;
class VKDM_ISOTabItem;
struct VKDM_ReaderInfo;
struct VKDM_ReaderDiagnostic;

class VKDM_API VKDM_KRNReader : public VKDM_DataBase {
  public:
    VKDM_KRNReader();
    ~VKDM_KRNReader() override;

    // Configuration parameters by name (see GetAccessID); the flag is true for
    // a parameter of the reader's image, false for the module's own.
    virtual int GetConfigPara(std::string name, bool* value, bool flag);
    virtual int GetConfigPara(std::string name, unsigned char* value, bool flag);
    virtual int GetConfigPara(std::string name, unsigned char* buffer, int count, bool flag);
    virtual int GetConfigPara(std::string name, unsigned int* value, bool flag);
    virtual int GetConfigPara(std::string name, std::string& value, bool flag);
    virtual int SetConfigPara(std::string name, bool value, bool flag);
    virtual int SetConfigPara(std::string name, unsigned char value, bool flag);
    virtual int SetConfigPara(std::string name, unsigned char* buffer, int count, bool flag);
    virtual int SetConfigPara(std::string name, unsigned int value, bool flag);
    virtual int SetConfigPara(std::string name, std::string value, bool flag);

    virtual int ReadCompleteConfiguration(bool flag);
    virtual int WriteCompleteConfiguration(bool flag);
    virtual int ResetCompleteConfiguration(bool flag);
    virtual int ApplyConfiguration(bool flag);
    virtual int Serialize(bool store, const char* fileName);

    virtual int SendProtocol(unsigned char command);
    virtual int FindBaudRate(const std::atomic<bool>* stop, int timeoutMs, int attempts,
                             VKDM_FindBaudRateCallback callback, void* context);
    int GetProtocolFrameSupport();
    int SetProtocolFrameSupport(int value);

    int GetLastError();
    int GetLastStatus();
    void SetLastError(int code);
    void SetLastStatus(int status);
    // Texts of a code and a reader status byte: 127 characters and a NUL at
    // most; 0 when known.
    virtual int GetErrorText(char* text, int code);
    virtual int GetStatusText(char* text, unsigned char status);

    virtual int EvalLibDependencies(std::string& text);
    std::string GetDependentLibVersions();

    // Tables (VKDM_TABLE_BRM, VKDM_TABLE_ISO).
    virtual int GetTableData(int index, unsigned int table, unsigned int dataId, bool* value);
    virtual int GetTableData(int index, unsigned int table, unsigned int dataId, unsigned char* value);
    virtual int GetTableData(int index, unsigned int table, unsigned int dataId, unsigned int* value);
    virtual int GetTableData(int index, unsigned int table, unsigned int dataId, std::string& value);
    virtual int GetTableData(int index, unsigned int table, unsigned int dataId, unsigned char* buffer,
                             int count);
    virtual int GetTableData(int index, unsigned int table, unsigned int dataId, int block,
                             unsigned char* buffer, int count);
    virtual int GetTableData(int index, unsigned int table, unsigned int dataId, int block,
                             std::string& value);
    virtual int SetTableData(int index, unsigned int table, unsigned int dataId, bool value);
    virtual int SetTableData(int index, unsigned int table, unsigned int dataId, unsigned char value);
    virtual int SetTableData(int index, unsigned int table, unsigned int dataId, unsigned int value);
    virtual int SetTableData(int index, unsigned int table, unsigned int dataId, std::string value);
    virtual int SetTableData(int index, unsigned int table, unsigned int dataId, unsigned char* buffer,
                             int count);
    virtual int SetTableData(int index, unsigned int table, unsigned int dataId, int block,
                             unsigned char* buffer, int count);
    virtual int SetTableData(int index, unsigned int table, unsigned int dataId, int block,
                             std::string value);
    virtual int FindTableIndex(int start, unsigned int table, unsigned int dataId, bool value);
    virtual int FindTableIndex(int start, unsigned int table, unsigned int dataId, unsigned char value);
    virtual int FindTableIndex(int start, unsigned int table, unsigned int dataId, unsigned int value);
    virtual int FindTableIndex(int start, unsigned int table, unsigned int dataId, std::string value);
    virtual int VerifyTableData(int index, unsigned int table, int first, int second);
    virtual int SetTableSize(unsigned int table, int capacity);
    virtual int SetTableSize(unsigned int table, int capacity, int size1, int size2, int size3, int size4);
    virtual int GetTableSize(unsigned int table);
    virtual int GetTableLength(unsigned int table);
    virtual int SetTableLength(unsigned int table, unsigned int length);
    virtual int ResetTable(unsigned int table, unsigned int mode);
    VKDM_BRMTabItem* GetBRMTableItem(unsigned int index);
    VKDM_ISOTabItem* GetISOTableItem(unsigned int index);
    // Parsers of reader data into the tables (layouts in the README).
    int Set_0xB0_IsoTableData(unsigned char* data, int length, int status);
    int SetBrmTableData(unsigned char command, unsigned char* data, int length);

    // Number of BRM records of the last notification.
    std::atomic<int> m_BrmRecordCount{0};

  protected:
    vkdm::ReaderState& State();

  private:
    std::unique_ptr<vkdm::ReaderState> m_state;
    friend class VKDM_KRNReaderModule;
    friend class VKDM_KRNFunctionUnit;
};

class VKDM_API VKDM_KRNReaderModule : public VKDM_KRNReader {
  public:
    VKDM_KRNReaderModule();
    ~VKDM_KRNReaderModule() override;

    virtual int ConnectCOMM(int portNumber);
    virtual int ConnectTCP(const char* host, int port);
    virtual int ConnectUSB(unsigned int deviceId);
    virtual int DisConnect();
    bool IsConnected();
    int GetTcpConnectionState();
    int GetPortHnd();
    int GetReaderHnd() override;
    virtual int SetPortPara(const char* key, const char* value);
    // `value` holds 256 bytes.
    virtual int GetPortPara(const char* key, char* value);

    virtual int TransferXmlFileToReaderCfg(const char* fileName);
    virtual int TransferReaderCfgToXmlFile(const char* fileName);

    virtual int ReaderAuthentication(unsigned char type, const char* key);
    virtual int TriggerAsyncTask();

    // Reads the reader information (mode 1: every mode) and keeps it; null on
    // failure with the last error set. The record lives as long as the module.
    virtual VKDM_ReaderInfo* ReadReaderInfo(unsigned int mode);
    virtual VKDM_ReaderDiagnostic* ReadReaderDiagnostic(unsigned int mode);
    VKDM_ReaderInfo* GetReaderInfo();
    VKDM_ReaderDiagnostic* GetReaderDiagnostic();

    // 1 while an asynchronous task of the module runs.
    std::atomic<std::uint8_t> m_TaskActive{0};
    // VKDM_PORT_NONE, _SERIAL, _USB or _TCP.
    std::atomic<int> m_PortKind{VKDM_PORT_NONE};

  private:
    std::unique_ptr<vkdm::ModuleState> m_module;
    friend struct vkdm::ModuleAccess;
};

// A function unit (type 10 tuner, 11 multiplexer, 12 UHF multiplexer) on a reader.
class VKDM_API VKDM_KRNFunctionUnit : public VKDM_DataBase {
  public:
    VKDM_KRNFunctionUnit(VKDM_KRNReader* reader, int type);
    ~VKDM_KRNFunctionUnit() override;

    int GetFUType();
    VKDM_KRNReader* GetReader();
    int GetReaderHnd() override;
    // Children at positions 1 to GetChildCount(); an ancestor is refused.
    int AddChild(int position, VKDM_KRNFunctionUnit* child);
    int DelChild(int position);
    VKDM_KRNFunctionUnit* GetChild(int position);
    int GetChildCount();
    void SetManageChildMode(bool manage);
    bool GetManageChildMode();
    // The unit's command of this byte through libvkfu.
    virtual int SendProtocol(unsigned char command);
    int GetLastError();
    void SetLastError(int code);
    virtual int GetErrorText(char* text, int code);
    virtual int GetStatusText(char* text, unsigned char status);

  private:
    std::unique_ptr<vkdm::UnitState> m_unit;
};

// One BRM record: values by role; the rest through Get/SetTableData.
class VKDM_API VKDM_BRMTabItem {
  public:
    void GetTableSizes(int* size1, int* size2);
    unsigned char GetAFI();
    unsigned char GetDSFID();
    unsigned char GetIDDT();
    unsigned char GetDirection();
    bool IsDirectionValid();
    // Copy out the fixed groups: 2, 32 and 32 bytes.
    void GetXPC_W1(unsigned char* out);
    void GetAntennaNumbers(unsigned char* out);
    void GetAntennaRSSI(unsigned char* out);

  protected:
    VKDM_BRMTabItem() = default;
};

// One ISO record. The received and transmit data are reached by range under
// the module's lock.
class VKDM_API VKDM_ISOTabItem {
  public:
    void GetTableSizes(int* size1, int* size2, int* size3, int* size4);
    unsigned char GetFlags();
    // Copy out the type-specific area (at least 258 bytes; returns its size).
    int GetTypeSpecific(unsigned char* out, int size);
    void GetXPC_W1(unsigned char* out);
    // 8, 8, 8, 10 and 32 bytes.
    void GetAntennaNumbers(unsigned char* out);
    void GetAntennaStatus(unsigned char* out);
    void GetAntennaRSSI(unsigned char* out);
    void GetChallenge(unsigned char* out);
    void GetCryptoBlock(unsigned char* out);
    void SetSelected(bool selected);
    // Current sizes of the received data (size1 x size2) and transmit data
    // (size3 x size4).
    int GetRxDataSize();
    int GetTxDataSize();
    // Bytes address .. address + count - 1: 0, or -104 outside the data.
    int ReadRxData(int address, unsigned char* out, int count);
    int WriteTxData(int address, const unsigned char* in, int count);

  protected:
    VKDM_ISOTabItem() = default;
};

// Reader information: a read flag and the bytes of each mode.
struct VKDM_ReaderInfo {
    // Read flags of modes 0x00-0x08, 0x10-0x12, 0x40, 0x41, 0x60, 0x61, 0x80.
    bool mode00, mode01, mode02, mode03, mode04, mode05, mode06, mode07, mode08;
    bool mode10, mode11, mode12, mode40, mode41, mode60, mode61, mode80;
    // Network parts: LAN MAC, IP, netmask, gateway; WLAN the same.
    bool lanMac, lanIp, lanNetmask, lanGateway, wlanMac, wlanIp, wlanNetmask, wlanGateway;
    bool isRfcFrequency;
    // Mode 0x00
    unsigned char rfcSwVer[2], rfcDevVer, rfcHwType, readerType, rfcTrType[2], rfcRxBufferSize[2],
        rfcTxBufferSize[2], rfcUhfTrType[2];
    // 0x01 .. 0x03
    unsigned char accSwVer[2], accDevVer, accHwType;
    unsigned char usbSwVer[2], usbDevVer, usbHwType;
    unsigned char decoderType[5]; // fpgaSwVer[2], fpgaDevVer, fpgaHwType, the byte after
    unsigned char selfTest;
    // 0x04: template, function list 0-2, firmware identifier (and the ten bytes from list 0)
    unsigned char dlqFctTemplate, dlqFct[10];
    unsigned char bootSwVer[2];
    unsigned char keybStatus[2], keybSwVer[2], keybHwVer[2];
    unsigned char dlqioSwVer[2], dlqioHwVer, dlqioNoOfInputs, dlqioNoOfOutputs, dlqioNoOfRelays,
        dlqioNoOfSignalers;
    unsigned char rfcSupportedTagDriver[14];
    unsigned char rfcHwInfo[2], rfcDHw[2], rfcAHw[2], rfcFrequency, rfcPortTypes, rfcInfo;
    unsigned char noOfSlots, slotInfo[4];
    unsigned char rfcCpuManufacturer, rfcCpuType[2], rfcCpuRevision, rfcCpuFlashSize[4];
    unsigned char noOfCfgPages[2], cfgReadPermissions[16], cfgWritePermissions[16];
    unsigned char lanMacAddr[6], lanIpV4[4], lanIpV6[16], lanNetmaskV4[4], lanNetmaskV6[16], lanGatewayV4[4],
        lanGatewayV6[16];
    unsigned char wlanMacAddr[6], wlanIpV4[4], wlanIpV6[16], wlanNetmaskV4[4], wlanNetmaskV6[16],
        wlanGatewayV4[4], wlanGatewayV6[16];
    unsigned char noOfInputs, noOfOutputs, noOfRelays;
    unsigned char peopleCounter[6]; // three 2-byte entries
    unsigned char rfcDevID[4], rfcLicenseCustom[4], rfcLicenseFw[2], rfcLicenseTrType[2], rfcLicenseFct[2],
        rfcLicenseUhfTrType[2], rfcLicenseUhfFct[2];
};

// Reader diagnostic: a read flag and the bytes of each mode.
struct VKDM_ReaderDiagnostic {
    bool mode01, mode03, mode04, mode05, mode20, mode21;
    unsigned char flagsA, flagsB;
    unsigned char muxStatusCh[8];
    unsigned char intErrorA, intErrorB;
    unsigned char muxOut[4][3]; // per output: status, phase error < 50 ohms, > 50 ohms
    char firmwareStatus[31];    // not NUL-terminated when full
    unsigned char configParaChangeStatus;
};

// Printable reports of the module's last information and diagnostic.
class VKDM_API VkdmKrnReport_ReaderInfo {
  public:
    explicit VkdmKrnReport_ReaderInfo(VKDM_KRNReaderModule* module);
    ~VkdmKrnReport_ReaderInfo();
    // 0xFF: every part.
    std::string BuildReport(unsigned int parts);

  private:
    VKDM_KRNReaderModule* m_module;
};

class VKDM_API VkdmKrnReport_ReaderDiagnostic {
  public:
    explicit VkdmKrnReport_ReaderDiagnostic(VKDM_KRNReaderModule* module);
    ~VkdmKrnReport_ReaderDiagnostic();
    std::string BuildReport(unsigned int parts);

  private:
    VKDM_KRNReaderModule* m_module;
};

// Hex text: at most `max` (up to 32) bytes from two digits each; the byte count,
// or -101 at a character that is not a hex digit (or an odd count).
VKDM_API int VKDM_ConvHexStrToHexUChar(const char* text, unsigned char* out, int max);
// `count` bytes as "%02X" text with a NUL; returns the text length.
VKDM_API int VKDM_ConvHexUCharToHexStr(const unsigned char* data, int count, char* text);
// Removes every character that is not a hex digit, in place; returns the count kept.
VKDM_API int VKDM_RemNoHexChar(char* text);
// The byte count (fifth field) of a parameter identifier, or a negative code.
VKDM_API int VKDM_GetByteCntOfID(const char* id);

#endif
