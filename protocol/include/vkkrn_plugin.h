// Port plug-in interface of libvkkrn.
//
// A reader reaches its port through one plug-in, an object of a class derived
// from VKKRN_PlugIn. For each command the reader's engine calls the slots below
// with the reader's command lock held; a slot returning 0 from a build or split
// step leaves that step to the library.
//
// A plug-in library links against libvkkrn, includes this header alone and
// exports
//     extern "C" int CreatePlugIn(VKKRN_PlugIn** plugIn);     // 0 = success
//     extern "C" int ReleasePlugIn(unsigned int releaseValue); // frees that plug-in
// Its objects set plugInOrigin to VKKRN_PLUGIN_ORIGIN_LIBRARY and their own
// releaseValue. VKKRN_PI_Get copies the library path into libraryFileName only
// after CreatePlugIn has returned, so call LoadLib(libraryFileName) from init():
// removal looks "ReleasePlugIn" up through libraryHandle and closes that handle.
//
// Rules for implementations:
// - char is signed: cast a command byte before comparing it, as in
//   static_cast<unsigned char>(cmd) == 0xB0.
// - Slots run under the reader's command lock, which is not recursive: a slot
//   must not call an export of libvkkrn on the same reader (VKKRN_PI_*, commands).
// - A plug-in shared by several readers, or a sub-plug-in serving several
//   commands, sees calls from several threads and guards its own state.
// - The sub-plug-in map owns its entries: the destructor runs cleanup() and
//   deletes each distinct plug-in once, in ascending command order.
// - Records (_VKKRN_PLUGIN_0xNN_DATA) are zeroed by their constructors; pointer
//   fields point into the caller's buffers, as the caller passed them.
#ifndef VKKRN_PLUGIN_H
#define VKKRN_PLUGIN_H

#include <map>

#define VKKRN_PLUGIN_API __attribute__((visibility("default")))

// plugInOrigin values; any other value is refused at installation (-4062).
inline constexpr unsigned int VKKRN_PLUGIN_ORIGIN_BUILT_IN = 0; // owned by the library or the caller
inline constexpr unsigned int VKKRN_PLUGIN_ORIGIN_LIBRARY = 1;  // freed through "ReleasePlugIn"

class VKKRN_PLUGIN_API VKKRN_PlugIn {
  public:
    VKKRN_PlugIn();
    virtual ~VKKRN_PlugIn();
    VKKRN_PlugIn(const VKKRN_PlugIn&) = delete;
    VKKRN_PlugIn& operator=(const VKKRN_PlugIn&) = delete;

    // Slots 2 to 7 give -4005 unless overridden.
    virtual int get_lib_version(char* versionOut);
    virtual int get_error_text(int code, char* textOut);
    virtual int open_port(char* portText); // a port handle (> 0) or a negative code
    virtual int close_port();
    virtual int get_port_para(char* key, char* valueOut);
    virtual int set_port_para(char* key, char* value);
    // Slots 8 to 16 give 0 unless overridden (the library does the step).
    virtual int build_datastream(char cmd, void* record, int dataFormat, char* dataOut, int dataOutSize);
    virtual int build_protocol(char cmd, char busAddress, char* data, int dataLen, char* frameOut,
                               int frameOutSize);
    virtual int transceive_protocol(char* frame, int frameLen, char* replyOut, int replyOutSize);
    virtual int transmit_protocol(char* frame, int frameLen);
    virtual int receive_protocol(char* replyOut, int replyOutSize);
    virtual int split_protocol(char cmd, char busAddress, char* reply, int replyLen, char* dataOut,
                               int dataOutSize, int* dataLen);
    virtual int split_datastream(char cmd, char* data, int dataLen, void* record, int dataFormat);
    virtual int init();
    virtual int cleanup();

    // Helpers for implementations; the library does not call them.
    // dlopen (RTLD_NOW | RTLD_GLOBAL); a non-null handle is kept in libraryHandle.
    void* LoadLib(const char* fileName);
    // dlclose of a non-null handle.
    void CloseLib(void* handle);
    // dlsym; null for a null handle.
    void* GetFunctionPtr(void* handle, const char* name);

    std::map<unsigned char, VKKRN_PlugIn*> subPlugInMap; // command byte -> plug-in serving it, owned
    unsigned int plugInNumber;                           // the plug-in's own; never read by the library
    int portHandle;            // built-in: the reader's port; installed: positive open_port result
    unsigned int releaseValue; // handed to "ReleasePlugIn"
    unsigned int plugInOrigin; // VKKRN_PLUGIN_ORIGIN_*
    char libraryFileName[256]; // path given to VKKRN_PI_Get
    void* libraryHandle;       // set by LoadLib; closed after "ReleasePlugIn"
};

typedef int (*VKKRN_CreatePlugInFn)(VKKRN_PlugIn** plugIn);
typedef int (*VKKRN_ReleasePlugInFn)(unsigned int releaseValue);

// Command records: the arguments of a reader command after the bus address
// (a1 the first), in the command's order. Fields named reservedN are left zero by
// the command.

struct _VKKRN_PLUGIN_0x18_DATA {
    unsigned char a1 = 0;
    unsigned char* a2 = nullptr;
    unsigned char* a3 = nullptr;
};

struct _VKKRN_PLUGIN_0x1E_DATA {
    unsigned char a1 = 0, a2 = 0, a3 = 0, a4 = 0, a5 = 0;
    unsigned char* a6 = nullptr;
    int a7 = 0;
    unsigned char* a8 = nullptr;
    int reserved1 = 0;
};

struct _VKKRN_PLUGIN_0x1F_DATA {
    unsigned char a1 = 0, a2 = 0, a3 = 0;
    unsigned char* a4 = nullptr;
    int a5 = 0;
    unsigned char* a6 = nullptr;
    int reserved1 = 0;
};

struct _VKKRN_PLUGIN_0x21_DATA {
    unsigned char a1 = 0;
    unsigned char* a2 = nullptr;
    unsigned char* a3 = nullptr;
    unsigned char* a4 = nullptr;
};

struct _VKKRN_PLUGIN_0x22_DATA {
    int a1 = 0;
    unsigned char* a2 = nullptr;
    int* a3 = nullptr;
    unsigned char* a4 = nullptr;
};

struct _VKKRN_PLUGIN_0x31_DATA {
    unsigned char* a1 = nullptr;
    unsigned char* a2 = nullptr;
    unsigned char* a3 = nullptr;
};

struct _VKKRN_PLUGIN_0x34_DATA {
    unsigned char a1 = 0;
};

struct _VKKRN_PLUGIN_0x35_DATA {
    unsigned char a1 = 0, a2 = 0, a3 = 0;
    unsigned int a4 = 0;
};

struct _VKKRN_PLUGIN_0x52_DATA {
    unsigned char reserved1 = 0;
};

struct _VKKRN_PLUGIN_0x64_DATA {
    unsigned char a1 = 0;
};

struct _VKKRN_PLUGIN_0x65_DATA {
    unsigned char* a1 = nullptr;
};

struct _VKKRN_PLUGIN_0x66_DATA {
    unsigned char a1 = 0;
    unsigned char* a2 = nullptr;
};

struct _VKKRN_PLUGIN_0x68_DATA {
    unsigned char a1 = 0, a2 = 0, a3 = 0, a4 = 0;
    int a5 = 0;
    long* a6 = nullptr;
};

struct _VKKRN_PLUGIN_0x6A_DATA {
    unsigned char a1 = 0;
};

struct _VKKRN_PLUGIN_0x6B_DATA {
    unsigned char a1 = 0, a2 = 0;
    int a3 = 0;
    unsigned char a4 = 0, a5 = 0;
};

struct _VKKRN_PLUGIN_0x6C_DATA {
    unsigned char* a1 = nullptr;
};

struct _VKKRN_PLUGIN_0x6D_DATA {
    unsigned char* a1 = nullptr;
};

struct _VKKRN_PLUGIN_0x6E_DATA {
    unsigned char a1 = 0;
    unsigned char* reserved1 = nullptr;
    unsigned char* a2 = nullptr;
};

struct _VKKRN_PLUGIN_0x71_DATA {
    int a1 = 0, a2 = 0, a3 = 0, a4 = 0;
};

struct _VKKRN_PLUGIN_0x72_DATA {
    unsigned char a1 = 0, a2 = 0;
    unsigned char* a3 = nullptr;
};

struct _VKKRN_PLUGIN_0x74_DATA {
    unsigned char* a1 = nullptr;
};

struct _VKKRN_PLUGIN_0x75_DATA {
    unsigned char* a1 = nullptr;
};

struct _VKKRN_PLUGIN_0x76_DATA {
    unsigned char a1 = 0;
    unsigned char* a2 = nullptr;
    int* a3 = nullptr;
};

struct _VKKRN_PLUGIN_0x7A_DATA {
    unsigned char a1 = 0, a2 = 0, a3 = 0, a4 = 0, a5 = 0, a6 = 0;
    char* a7 = nullptr;
};

struct _VKKRN_PLUGIN_0x80_DATA {
    unsigned char a1 = 0;
    unsigned char* a2 = nullptr;
};

struct _VKKRN_PLUGIN_0x81_DATA {
    unsigned char a1 = 0;
    unsigned char* a2 = nullptr;
};

struct _VKKRN_PLUGIN_0x82_DATA {
    unsigned char a1 = 0;
};

struct _VKKRN_PLUGIN_0x83_DATA {
    unsigned char a1 = 0;
};

struct _VKKRN_PLUGIN_0x85_DATA {
    unsigned char* a1 = nullptr;
};

struct _VKKRN_PLUGIN_0x86_DATA {
    unsigned char* a1 = nullptr;
};

struct _VKKRN_PLUGIN_0x87_DATA {
    unsigned char a1 = 0, a2 = 0, a3 = 0, a4 = 0, a5 = 0, a6 = 0, a7 = 0;
    int a8 = 0;
};

struct _VKKRN_PLUGIN_0x88_DATA {
    unsigned char* a1 = nullptr;
    unsigned char* a2 = nullptr;
    unsigned char* a3 = nullptr;
    unsigned char* a4 = nullptr;
    unsigned char* a5 = nullptr;
    unsigned char* a6 = nullptr;
    unsigned char* a7 = nullptr;
    int* a8 = nullptr;
};

struct _VKKRN_PLUGIN_0x8A_DATA {
    unsigned char a1 = 0, a2 = 0, a3 = 0;
    unsigned int a4 = 0;
    unsigned char a5 = 0;
    unsigned char* reserved1 = nullptr;
    unsigned char* reserved2 = nullptr;
    unsigned char* reserved3 = nullptr;
};

struct _VKKRN_PLUGIN_0x8B_DATA {
    unsigned char a1 = 0, a2 = 0, a3 = 0, a4 = 0, a5 = 0;
    unsigned char* a6 = nullptr;
};

struct _VKKRN_PLUGIN_0x8C_DATA {
    unsigned char a1 = 0, a2 = 0, a3 = 0;
    unsigned int a4 = 0;
    unsigned char a5 = 0;
};

struct _VKKRN_PLUGIN_0x9F_DATA {
    unsigned char a1 = 0, a2 = 0, a3 = 0;
    unsigned char* a4 = nullptr;
    int a5 = 0;
    unsigned char* reserved1 = nullptr;
    int reserved2 = 0;
};

struct _VKKRN_PLUGIN_0xA0_DATA {
    unsigned char* a1 = nullptr;
};

struct _VKKRN_PLUGIN_0xA2_DATA {
    unsigned char a1 = 0, a2 = 0;
    unsigned char* a3 = nullptr;
};

struct _VKKRN_PLUGIN_0xA3_DATA {
    unsigned char a1 = 0, a2 = 0, a3 = 0, a4 = 0;
    unsigned char* a5 = nullptr;
};

struct _VKKRN_PLUGIN_0xAD_DATA {
    unsigned char a1 = 0, a2 = 0, a3 = 0;
    unsigned char* a4 = nullptr;
};

// 0xB0, 0xB2, 0xB3, 0xFE: request and its length; the reply pair is left zero.
struct _VKKRN_PLUGIN_0xB0_DATA {
    unsigned char* a1 = nullptr;
    int a2 = 0;
    unsigned char* reserved1 = nullptr;
    int reserved2 = 0;
};

// Also filled by command 0xB5.
struct _VKKRN_PLUGIN_0xB1_DATA {
    unsigned char a1 = 0;
    unsigned char* a2 = nullptr;
    int a3 = 0;
    unsigned char* reserved1 = nullptr;
    int reserved2 = 0;
};

struct _VKKRN_PLUGIN_0xB2_DATA {
    unsigned char* a1 = nullptr;
    int a2 = 0;
    unsigned char* reserved1 = nullptr;
    int reserved2 = 0;
};

struct _VKKRN_PLUGIN_0xB3_DATA {
    unsigned char* a1 = nullptr;
    int a2 = 0;
    unsigned char* reserved1 = nullptr;
    int reserved2 = 0;
};

struct _VKKRN_PLUGIN_0xB4_DATA {
    unsigned char a1 = 0;
    unsigned char* a2 = nullptr;
    int a3 = 0;
    unsigned char* reserved1 = nullptr;
    int reserved2 = 0;
};

struct _VKKRN_PLUGIN_0xBB_DATA {
    unsigned char a1 = 0, a2 = 0, a3 = 0;
    unsigned int a4 = 0;
    unsigned int reserved1 = 0;
    unsigned int a5 = 0;
    unsigned char* a6 = nullptr;
    unsigned int a7 = 0;
    unsigned char* reserved2 = nullptr;
    unsigned int reserved3 = 0;
};

struct _VKKRN_PLUGIN_0xBD_DATA {
    unsigned char a1 = 0;
    int a2 = 0;
    unsigned char* a3 = nullptr;
    int a4 = 0;
    unsigned char* reserved1 = nullptr;
    int reserved2 = 0;
};

struct _VKKRN_PLUGIN_0xBE_DATA {
    unsigned char a1 = 0;
    int a2 = 0;
    unsigned char* a3 = nullptr;
    int a4 = 0;
    unsigned char* reserved1 = nullptr;
    int reserved2 = 0;
};

struct _VKKRN_PLUGIN_0xBF_DATA {
    unsigned char a1 = 0;
    int a2 = 0;
    unsigned char* a3 = nullptr;
    int a4 = 0;
    unsigned char* reserved1 = nullptr;
    int reserved2 = 0;
};

struct _VKKRN_PLUGIN_0xC0_DATA {
    int a1 = 0;
    int a2 = 0;
    unsigned char* a3 = nullptr;
    int a4 = 0;
    unsigned char* a5 = nullptr;
    int reserved1 = 0;
};

// The first four argument bytes are left zero by the command.
struct _VKKRN_PLUGIN_0xC1_DATA {
    unsigned char a1 = 0, a2 = 0, a3 = 0, a4 = 0;
    unsigned char* a5 = nullptr;
    int a6 = 0;
    unsigned char* reserved1 = nullptr;
    int reserved2 = 0;
};

// The first two argument bytes are left zero by the command.
struct _VKKRN_PLUGIN_0xC2_DATA {
    unsigned char a1 = 0, a2 = 0;
    unsigned char* a3 = nullptr;
    int a4 = 0;
    unsigned char* reserved1 = nullptr;
    int reserved2 = 0;
};

struct _VKKRN_PLUGIN_0xC3_DATA {
    unsigned char a1 = 0, a2 = 0;
    unsigned char* a3 = nullptr;
    int a4 = 0;
    unsigned char* reserved1 = nullptr;
    int reserved2 = 0;
};

struct _VKKRN_PLUGIN_0xFE_DATA {
    unsigned char* a1 = nullptr;
    int a2 = 0;
    unsigned char* reserved1 = nullptr;
    int reserved2 = 0;
};

// Request of a first-generation USB reader, passed in place of the command's own
// record: [command][header1..header4][length high][length low][payload].
struct _VKKRN_PLUGIN_USB_DATA {
    unsigned char header1 = 0, header2 = 0, header3 = 0, header4 = 0;
    unsigned int kind = 0;   // 2: a payload of `length` bytes (at most 256) follows; else none
    unsigned int length = 0; // kind 2: payload length; otherwise the reply length announced
};

#endif
