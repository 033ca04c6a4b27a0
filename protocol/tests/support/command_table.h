// The reader command exports as a table of calls, for the tests that run every
// command the same way: the request data each call must send, and each call
// with its pointer arguments valid or null. Outputs go to one shared scratch
// area sized for the largest reply.
#ifndef VKKRN_TESTS_COMMAND_TABLE_H
#define VKKRN_TESTS_COMMAND_TABLE_H

#include <vkkrn.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vkkrn_test {

using Bytes = std::vector<std::uint8_t>;

// Output space of the calls below (a hex reply of 65,537 bytes and its NUL).
struct CommandScratch {
    unsigned char out[2 * 0x10001 + 1];
    unsigned char b1, b2, b3, b4, b5, b6, b7;
    int n = 0;
    unsigned int un = 0;
    long values[0x10001];
    unsigned char in[8] = {0x01, 0x00};
};

inline CommandScratch& scratch() {
    static CommandScratch s;
    return s;
}

inline unsigned char* bytesOf(std::string& s) {
    return reinterpret_cast<unsigned char*>(s.data());
}

inline Bytes iota(std::size_t n, std::uint8_t first) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(first + i);
    return out;
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// One call and the request it must send: its command byte, its bus address and
// its data.
struct RequestRow {
    const char* name;
    std::function<int(int reader)> call;
    std::uint8_t command;
    Bytes data;
    std::uint8_t address = 1;
};

// Every command once (two forms where the data differ), to bus address 1 unless
// said; arguments above a byte are cut.
inline std::vector<RequestRow> requestRows() {
    static Bytes id = iota(19, 0x3F);
    static Bytes id40 = iota(19, 0x40);
    static Bytes code = {0xC1, 0xC2, 0xC3};
    static Bytes data = {0xD1, 0xD2, 0xD3};
    static std::string hexData = "d1D2d3";
    static Bytes levels = iota(6, 0x61);
    static std::string hexLevels = "616263646566";
    static Bytes records = iota(8, 0x71);
    static std::string text = "Hi!";
    static Bytes block = iota(14, 0x81);
    static std::string hexBlock = "8182838485868788898A8B8C8D8E";
    static Bytes timer = {0x11, 0x22, 0x33, 0x44};
    static Bytes configuration = iota(2 * (3 + 2), 0x90);
    static Bytes login = {0x4C, 0x4F, 0x47, 0x49};
    static Bytes mifareKey = iota(6, 0xA1);
    static std::string hexMifareKey = "a1a2A3A4a5A6";
    static Bytes aesKey = iota(16, 0xB1);
    static std::string hexAesKey = "B1B2B3B4B5B6B7B8B9BABBBCBDBEBFC0";
    CommandScratch* o = &scratch();
    return {
        {"0x18 mode 0, 12 identifier bytes",
         [](int r) { return VKKRN_0x18_Destroy(r, 1, 0, id.data(), code.data()); }, 0x18,
         concat({{0x00}, Bytes(id.begin(), id.begin() + 12), code})},
        {"0x18 mode 0, 8 identifier bytes",
         [](int r) { return VKKRN_0x18_Destroy(r, 1, 0, id40.data(), code.data()); }, 0x18,
         concat({{0x00}, Bytes(id40.begin(), id40.begin() + 8), {0, 0, 0, 0}, code})},
        {"0x18 mode 1", [](int r) { return VKKRN_0x18_Destroy(r, 1, 0x101, id.data(), code.data()); }, 0x18,
         concat({{0x01}, id, code})},
        {"0x1A", [](int r) { return VKKRN_0x1A_Halt(r, 0x101); }, 0x1A, {}},
        {"0x1B", [](int r) { return VKKRN_0x1B_ResetQuietBit(r, 1); }, 0x1B, {}},
        {"0x1C", [](int r) { return VKKRN_0x1C_EASRequest(r, 1); }, 0x1C, {}},
        {"0x1E",
         [o](int r) {
             return VKKRN_0x1E_TableDataExchange(r, 1, 1, 2, 3, 4, 0x1FF, data.data(), 3, o->out, &o->n);
         },
         0x1E, concat({{1, 2, 3, 4, 0xFF}, data})},
        {"0x1F raw",
         [o](int r) { return VKKRN_0x1F_MAXDataExchange(r, 1, 1, 2, 3, data.data(), 3, o->out, &o->n, 0); },
         0x1F, concat({{1, 2, 3}, data})},
        {"0x1F hex",
         [o](int r) {
             return VKKRN_0x1F_MAXDataExchange(r, 1, 1, 2, 3, bytesOf(hexData), 6, o->out, &o->n, 1);
         },
         0x1F, concat({{1, 2, 3}, data})},
        {"0x21", [o](int r) { return VKKRN_0x21_ReadBuffer(r, 1, 5, &o->b1, &o->b2, o->out, 0); }, 0x21, {5}},
        {"0x22",
         [o](int r) { return VKKRN_0x22_ReadBuffer(r, 1, 0x12345, &o->b1, &o->n, o->out, 0); },
         0x22,
         {0x23, 0x45}},
        {"0x31",
         [o](int r) { return VKKRN_0x31_ReadDataBufferInfo(r, 1, o->out, o->out + 8, o->out + 16, 0); },
         0x31,
         {}},
        {"0x32", [](int r) { return VKKRN_0x32_ClearDataBuffer(r, 1); }, 0x32, {}},
        {"0x33", [](int r) { return VKKRN_0x33_InitBuffer(r, 1); }, 0x33, {}},
        {"0x34", [](int r) { return VKKRN_0x34_ForceNotifyTrigger(r, 1, 0x134); }, 0x34, {0x34}},
        {"0x35",
         [](int r) { return VKKRN_0x35_SoftwareTrigger(r, 1, 1, 2, 3, 0x12345); },
         0x35,
         {1, 2, 3, 0x23, 0x45}},
        {"0x52", [](int r) { return VKKRN_0x52_GetBaud(r, 1); }, 0x52, {0x00}},
        {"0x55 to bus address 0", [](int r) { return VKKRN_0x55_StartFlashLoader(r); }, 0x55, {}, 0},
        {"0x55 Ex", [](int r) { return VKKRN_0x55_StartFlashLoaderEx(r, 1); }, 0x55, {}},
        {"0x63", [](int r) { return VKKRN_0x63_CPUReset(r, 1); }, 0x63, {}},
        {"0x64", [](int r) { return VKKRN_0x64_SystemReset(r, 1, 7); }, 0x64, {7}},
        {"0x65", [o](int r) { return VKKRN_0x65_SoftVersion(r, 1, o->out, 0); }, 0x65, {}},
        {"0x66", [o](int r) { return VKKRN_0x66_ReaderInfo(r, 1, 0x100, o->out, 0); }, 0x66, {0x00}},
        {"0x68",
         [o](int r) { return VKKRN_0x68_ChannelAnalyze(r, 1, 0, 2, 3, 4, 0x10002, o->values); },
         0x68,
         {0, 2, 3, 4, 0x00, 0x02}},
        {"0x69", [](int r) { return VKKRN_0x69_RFReset(r, 1); }, 0x69, {}},
        {"0x6A", [](int r) { return VKKRN_0x6A_RFOnOff(r, 1, 1); }, 0x6A, {1}},
        {"0x6B noise threshold", [](int r) { return VKKRN_0x6B_InitNoiseThreshold(r, 1); }, 0x6B, {}},
        {"0x6B RF sync: a, c, d, b, time",
         [](int r) { return VKKRN_0x6B_CentralizedRFSync(r, 1, 1, 2, 0x1234, 3, 4); },
         0x6B,
         {1, 3, 4, 2, 0x12, 0x34}},
        {"0x6C raw", [](int r) { return VKKRN_0x6C_SetNoiseLevel(r, 1, levels.data(), 0); }, 0x6C, levels},
        {"0x6C hex", [](int r) { return VKKRN_0x6C_SetNoiseLevel(r, 1, bytesOf(hexLevels), 1); }, 0x6C,
         levels},
        {"0x6D", [o](int r) { return VKKRN_0x6D_GetNoiseLevel(r, 1, o->out, 0); }, 0x6D, {}},
        {"0x6E mode 5", [o](int r) { return VKKRN_0x6E_RdDiag(r, 1, 5, o->out); }, 0x6E, {5}},
        {"0x6E mode 0x21 sends buffer[0]",
         [o](int r) {
             o->out[0] = 0x5A;
             return VKKRN_0x6E_RdDiag(r, 1, 0x21, o->out);
         },
         0x6E,
         {0x21, 0x5A}},
        {"0x6F", [](int r) { return VKKRN_0x6F_AntennaTuning(r, 1); }, 0x6F, {}},
        {"0x71",
         [](int r) { return VKKRN_0x71_SetOutput(r, 1, 0, 1, 0x1234, 65535); },
         0x71,
         {0, 0, 0, 1, 0x12, 0x34, 0xFF, 0xFF}},
        {"0x72", [](int r) { return VKKRN_0x72_SetOutput(r, 1, 1, 2, records.data()); }, 0x72,
         concat({{1, 2}, records})},
        {"0x74", [o](int r) { return VKKRN_0x74_ReadInput(r, 1, o->out); }, 0x74, {}},
        {"0x75", [o](int r) { return VKKRN_0x75_AdjAntenna(r, 1, o->out, 0); }, 0x75, {}},
        {"0x76", [o](int r) { return VKKRN_0x76_CheckAntennas(r, 1, 9, o->out, &o->n); }, 0x76, {9}},
        {"0x7A",
         [](int r) { return VKKRN_0x7A_WriteDisplay(r, 1, 1, 2, 3, 4, 5, 3, text.data()); },
         0x7A,
         {1, 2, 3, 4, 5, 3, 'H', 'i', '!'}},
        {"0x80", [o](int r) { return VKKRN_0x80_ReadConfBlock(r, 1, 0x12, o->out, 0); }, 0x80, {0x12}},
        {"0x81 raw", [](int r) { return VKKRN_0x81_WriteConfBlock(r, 1, 0x12, block.data(), 0); }, 0x81,
         concat({{0x12}, block})},
        {"0x81 hex", [](int r) { return VKKRN_0x81_WriteConfBlock(r, 1, 0x12, bytesOf(hexBlock), 1); }, 0x81,
         concat({{0x12}, block})},
        {"0x82", [](int r) { return VKKRN_0x82_SaveConfBlock(r, 1, 0x12); }, 0x82, {0x12}},
        {"0x83", [](int r) { return VKKRN_0x83_ResetConfBlock(r, 1, 0x12); }, 0x83, {0x12}},
        {"0x85", [](int r) { return VKKRN_0x85_SetSysTimer(r, 1, timer.data(), 0); }, 0x85, timer},
        {"0x86", [o](int r) { return VKKRN_0x86_GetSysTimer(r, 1, o->out, 0); }, 0x86, {}},
        {"0x87",
         [](int r) { return VKKRN_0x87_SetSystemDate(r, 1, 1, 2, 3, 4, 5, 6, 7, 0x10203); },
         0x87,
         {1, 2, 3, 4, 5, 6, 7, 0x02, 0x03}},
        {"0x88",
         [o](int r) {
             return VKKRN_0x88_GetSystemDate(r, 1, &o->b1, &o->b2, &o->b3, &o->b4, &o->b5, &o->b6, &o->b7,
                                             &o->n);
         },
         0x88,
         {}},
        {"0x8A",
         [o](int r) {
             return VKKRN_0x8A_ReadConfiguration(r, 1, 1, 2, 3, 0x1FFFF, 5, &o->b1, &o->b2, o->out);
         },
         0x8A,
         {1, 2, 3, 0xFF, 0xFF, 5}},
        {"0x8B",
         [](int r) { return VKKRN_0x8B_WriteConfiguration(r, 1, 1, 2, 3, 2, 3, configuration.data()); }, 0x8B,
         concat({{1, 2, 3, 2, 3}, configuration})},
        {"0x8C",
         [](int r) { return VKKRN_0x8C_ResetConfiguration(r, 1, 1, 2, 3, 0x1ABCD, 5); },
         0x8C,
         {1, 2, 3, 0xAB, 0xCD, 5}},
        {"0x9F",
         [o](int r) { return VKKRN_0x9F_Piggyback_Command(r, 1, 1, 2, 3, data.data(), 3, o->out, &o->n); },
         0x9F, concat({{1, 2, 3}, data})},
        {"0xA0", [](int r) { return VKKRN_0xA0_RdLogin(r, 1, login.data(), 0); }, 0xA0, login},
        {"0xA2 raw", [](int r) { return VKKRN_0xA2_WriteMifareKeys(r, 1, 1, 2, mifareKey.data(), 0); }, 0xA2,
         concat({{1, 2}, mifareKey})},
        {"0xA2 hex", [](int r) { return VKKRN_0xA2_WriteMifareKeys(r, 1, 1, 2, bytesOf(hexMifareKey), 1); },
         0xA2, concat({{1, 2}, mifareKey})},
        {"0xA3 hex, key length 16",
         [](int r) { return VKKRN_0xA3_Write_DES_AES_Keys(r, 1, 1, 2, 3, 16, bytesOf(hexAesKey), 1); }, 0xA3,
         concat({{1, 2, 3, 16}, aesKey})},
        {"0xAD key length 0",
         [](int r) { return VKKRN_0xAD_WriteReaderAuthentKey(r, 1, 1, 2, 0, aesKey.data(), 0); },
         0xAD,
         {1, 2, 0}},
    };
}

// Every export once, with its pointer arguments valid or all null; `nullTest`
// tells whether the export refuses the null ones with -4002 before the handle.
struct ExportRow {
    const char* name;
    std::function<int(int reader, bool nulls)> call;
    bool nullTest = true;
};

inline std::vector<ExportRow> exportRows() {
    CommandScratch* o = &scratch();
    auto p = [o](bool n) -> unsigned char* { return n ? nullptr : o->out; };
    auto b = [](bool n, unsigned char& v) -> unsigned char* { return n ? nullptr : &v; };
    auto i = [o](bool n) -> int* { return n ? nullptr : &o->n; };
    auto c = [o](bool n) -> char* { return n ? nullptr : reinterpret_cast<char*>(o->out); };
    return {
        {"0x18", [=](int r, bool n) { return VKKRN_0x18_Destroy(r, 1, 0, p(n), p(n)); }},
        {"0x1A", [](int r, bool) { return VKKRN_0x1A_Halt(r, 1); }, false},
        {"0x1B", [](int r, bool) { return VKKRN_0x1B_ResetQuietBit(r, 1); }, false},
        {"0x1C", [](int r, bool) { return VKKRN_0x1C_EASRequest(r, 1); }, false},
        {"0x1E",
         [=](int r, bool n) {
             return VKKRN_0x1E_TableDataExchange(r, 1, 0, 0, 0, 0, 0, p(n), 0, o->out, &o->n);
         }},
        {"0x1F",
         [=](int r, bool n) { return VKKRN_0x1F_MAXDataExchange(r, 1, 0, 0, 0, p(n), 0, o->out, &o->n, 0); }},
        {"0x21",
         [=](int r, bool n) { return VKKRN_0x21_ReadBuffer(r, 1, 0, b(n, o->b1), b(n, o->b2), p(n), 0); }},
        {"0x22", [=](int r, bool n) { return VKKRN_0x22_ReadBuffer(r, 1, 0, p(n), i(n), p(n), 0); }},
        {"0x31", [=](int r, bool n) { return VKKRN_0x31_ReadDataBufferInfo(r, 1, p(n), p(n), p(n), 0); }},
        {"0x32", [](int r, bool) { return VKKRN_0x32_ClearDataBuffer(r, 1); }, false},
        {"0x33", [](int r, bool) { return VKKRN_0x33_InitBuffer(r, 1); }, false},
        {"0x34", [](int r, bool) { return VKKRN_0x34_ForceNotifyTrigger(r, 1, 0); }, false},
        {"0x35", [](int r, bool) { return VKKRN_0x35_SoftwareTrigger(r, 1, 0, 0, 0, 0); }, false},
        {"0x52", [](int r, bool) { return VKKRN_0x52_GetBaud(r, 1); }, false},
        {"0x55", [](int r, bool) { return VKKRN_0x55_StartFlashLoader(r); }, false},
        {"0x55 Ex", [](int r, bool) { return VKKRN_0x55_StartFlashLoaderEx(r, 1); }, false},
        {"0x63", [](int r, bool) { return VKKRN_0x63_CPUReset(r, 1); }, false},
        {"0x64", [](int r, bool) { return VKKRN_0x64_SystemReset(r, 1, 0); }, false},
        {"0x65", [=](int r, bool n) { return VKKRN_0x65_SoftVersion(r, 1, p(n), 0); }},
        {"0x66", [=](int r, bool n) { return VKKRN_0x66_ReaderInfo(r, 1, 0, p(n), 0); }},
        {"0x68", [=](int r, bool) { return VKKRN_0x68_ChannelAnalyze(r, 1, 0, 0, 0, 0, 0, o->values); },
         false},
        {"0x69", [](int r, bool) { return VKKRN_0x69_RFReset(r, 1); }, false},
        {"0x6A", [](int r, bool) { return VKKRN_0x6A_RFOnOff(r, 1, 0); }, false},
        {"0x6B", [](int r, bool) { return VKKRN_0x6B_InitNoiseThreshold(r, 1); }, false},
        {"0x6B sync", [](int r, bool) { return VKKRN_0x6B_CentralizedRFSync(r, 1, 0, 0, 0, 0, 0); }, false},
        {"0x6C", [=](int r, bool n) { return VKKRN_0x6C_SetNoiseLevel(r, 1, p(n), 0); }},
        {"0x6D", [=](int r, bool n) { return VKKRN_0x6D_GetNoiseLevel(r, 1, p(n), 0); }},
        {"0x6E", [=](int r, bool n) { return VKKRN_0x6E_RdDiag(r, 1, 0, p(n)); }},
        {"0x6F", [](int r, bool) { return VKKRN_0x6F_AntennaTuning(r, 1); }, false},
        {"0x71", [](int r, bool) { return VKKRN_0x71_SetOutput(r, 1, 0, 0, 0, 0); }, false},
        {"0x72", [=](int r, bool) { return VKKRN_0x72_SetOutput(r, 1, 0, 0, o->out); }, false},
        {"0x74", [=](int r, bool n) { return VKKRN_0x74_ReadInput(r, 1, p(n)); }},
        {"0x75", [=](int r, bool n) { return VKKRN_0x75_AdjAntenna(r, 1, p(n), 0); }},
        {"0x76", [=](int r, bool n) { return VKKRN_0x76_CheckAntennas(r, 1, 0, p(n), i(n)); }},
        {"0x7A", [=](int r, bool n) { return VKKRN_0x7A_WriteDisplay(r, 1, 0, 0, 0, 0, 0, 0, c(n)); }},
        {"0x80", [=](int r, bool n) { return VKKRN_0x80_ReadConfBlock(r, 1, 0, p(n), 0); }},
        {"0x81", [=](int r, bool n) { return VKKRN_0x81_WriteConfBlock(r, 1, 0, p(n), 0); }},
        {"0x82", [](int r, bool) { return VKKRN_0x82_SaveConfBlock(r, 1, 0); }, false},
        {"0x83", [](int r, bool) { return VKKRN_0x83_ResetConfBlock(r, 1, 0); }, false},
        {"0x85", [=](int r, bool n) { return VKKRN_0x85_SetSysTimer(r, 1, p(n), 0); }},
        {"0x86", [=](int r, bool n) { return VKKRN_0x86_GetSysTimer(r, 1, p(n), 0); }},
        {"0x87", [](int r, bool) { return VKKRN_0x87_SetSystemDate(r, 1, 0, 0, 0, 0, 0, 0, 0, 0); }, false},
        {"0x88",
         [=](int r, bool n) {
             return VKKRN_0x88_GetSystemDate(r, 1, p(n), p(n), p(n), p(n), p(n), p(n), p(n), i(n));
         }},
        {"0x8A",
         [=](int r, bool n) { return VKKRN_0x8A_ReadConfiguration(r, 1, 0, 0, 0, 0, 0, p(n), p(n), p(n)); }},
        {"0x8B", [=](int r, bool n) { return VKKRN_0x8B_WriteConfiguration(r, 1, 0, 0, 0, 0, 0, p(n)); }},
        {"0x8C", [](int r, bool) { return VKKRN_0x8C_ResetConfiguration(r, 1, 0, 0, 0, 0, 0); }, false},
        {"0x9F",
         [=](int r, bool n) { return VKKRN_0x9F_Piggyback_Command(r, 1, 0, 0, 0, p(n), 0, p(n), i(n)); }},
        {"0xA0", [=](int r, bool n) { return VKKRN_0xA0_RdLogin(r, 1, p(n), 0); }},
        {"0xA2", [=](int r, bool n) { return VKKRN_0xA2_WriteMifareKeys(r, 1, 0, 0, p(n), 0); }},
        {"0xA3", [=](int r, bool n) { return VKKRN_0xA3_Write_DES_AES_Keys(r, 1, 0, 0, 0, 0, p(n), 0); }},
        {"0xAD", [=](int r, bool n) { return VKKRN_0xAD_WriteReaderAuthentKey(r, 1, 0, 0, 0, p(n), 0); }},
    };
}

// The transponder, transparent, SAM and card-crypto exports alike: request,
// reply and reply length (0xC1 also its field) all null or all valid.
inline std::vector<ExportRow> transponderExportRows() {
    CommandScratch* o = &scratch();
    auto p = [o](bool n) -> unsigned char* { return n ? nullptr : o->out; };
    auto q = [o](bool n) -> unsigned char* { return n ? nullptr : o->in; };
    auto i = [o](bool n) -> int* { return n ? nullptr : &o->n; };
    return {
        {"0xB0", [=](int r, bool n) { return VKKRN_0xB0_ISOCmd(r, 1, q(n), 2, p(n), i(n), 0); }},
        {"0xB1",
         [=](int r, bool n) { return VKKRN_0xB1_ISOCustAndPropCmd(r, 1, 0, q(n), 2, p(n), i(n), 0); }},
        {"0xB2", [=](int r, bool n) { return VKKRN_0xB2_ISOCmd(r, 1, q(n), 2, p(n), i(n), 0); }},
        {"0xB3", [=](int r, bool n) { return VKKRN_0xB3_EPCCmd(r, 1, q(n), 2, p(n), i(n), 0); }},
        {"0xB4", [=](int r, bool n) { return VKKRN_0xB4_EPC_UHF_Cmd(r, 1, 0, q(n), 2, p(n), i(n), 0); }},
        {"0xB5",
         [=](int r, bool n) { return VKKRN_0xB5_ISOCustAndPropCmd(r, 1, 0, q(n), 2, p(n), i(n), 0); }},
        {"0xBB",
         [=](int r, bool n) {
             return VKKRN_0xBB_C1G2_TranspCmd(r, 1, 0, 0, 0, 0, 0, q(n), 2, p(n), n ? nullptr : &o->un);
         }},
        {"0xBD", [=](int r, bool n) { return VKKRN_0xBD_ISOTranspCmd(r, 1, 0, 0, q(n), 2, p(n), i(n), 0); }},
        {"0xBE", [=](int r, bool n) { return VKKRN_0xBE_ISOTranspCmd(r, 1, 0, 0, q(n), 2, p(n), i(n), 0); }},
        {"0xBF", [=](int r, bool n) { return VKKRN_0xBF_ISOTranspCmd(r, 1, 0, 0, q(n), 2, p(n), i(n), 0); }},
        {"0xC0", [=](int r, bool n) { return VKKRN_0xC0_SAMCmd_Sync(r, 1, 0, 30, q(n), 2, p(n), i(n)); }},
        {"0xC1",
         [=](int r, bool n) { return VKKRN_0xC1_DESFireCmd(r, 1, 0, 0, q(n), 0, q(n), 2, p(n), i(n), 0); }},
        {"0xC2", [=](int r, bool n) { return VKKRN_0xC2_MifarePlusCmd(r, 1, 0, 0, q(n), 2, p(n), i(n), 0); }},
        {"0xC3", [=](int r, bool n) { return VKKRN_0xC3_DESFireCmd(r, 1, 0, 0, q(n), 2, p(n), i(n), 0); }},
        {"0xFE", [=](int r, bool n) { return VKKRN_0xFE_Transceive(r, 1, q(n), 2, p(n), i(n)); }},
    };
}

} // namespace vkkrn_test

#endif
