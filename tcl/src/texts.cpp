#include "texts.h"

#include "codes.h"

#include <array>
#include <cstring>

namespace vktcl {

namespace {

// Reader status texts: "DLQ:", the status as "0x%02X" and the words, joined by tabs.
#define VKTCL_DLQ(code, status, words)                                                                       \
    { code, "DLQ:\t" status "\t" words }

constexpr std::array<CodeText, kErrorTextCount> kErrors{{
    {-4200, "VKTCL: Error during transponder object creation."},
    {-4201, "VKTCL: Empty transponder liste."},
    {-4202, "VKTCL: Internal NULL Pointer."},
    {-4203, "VKTCL: Not enough memory."},
    {-4204, "VKTCL: Unknown communication mode."},
    {-4205, "VKTCL: Function is not supported."},
    {-4206, "VKTCL: This operating system does not support USB."},
    {-4207, "VKTCL: Outdated version of VIZER.DLL detected."},
    {-4208, "VKTCL: The Error-File could not be opened."},
    {-4209, "VKTCL: Another APDU is currently being processed."},
    {-4210, "VKTCL: No value found."},
    {-4220, "VKTCL: Unknown handle."},
    {-4221, "VKTCL: The handle is 0."},
    {-4222, "VKTCL: Negative handle."},
    {-4223, "VKTCL: Handle not found."},
    {-4224, "VKTCL: Negative transponder handle."},
    {-4226, "VKTCL: Negative reader handle."},
    {-4227, "VKTCL: Thread not created."},
    {-4230, "VKTCL: Potocol length error."},
    {-4231, "VKTCL: Checksum error."},
    {-4232, "VKTCL: Busy timeout."},
    {-4233, "VKTCL: Unknown status byte."},
    {-4234, "VKTCL: Response protocol not received."},
    {-4235, "VKTCL: Invalid control byte in the response protocol."},
    {-4236, "VKTCL: Protocol transmission error."},
    {-4237, "VKTCL: Invalid bus address in the reciept protocol."},
    {-4238, "VKTCL: Port Timeout during Receive."},
    {-4250, "VKTCL: Unknown parameter."},
    {-4251, "VKTCL: Parameter out of range."},
    {-4252, "VKTCL: Odd parameter string."},
    {-4253, "VKTCL: Unknown error code: Error code is not defined."},
    {-4254, "VKTCL: Option is not supported."},
    {-4255, "VKTCL: Unknown EPC type."},
    {-4256, "VKTCL: Unknown Language."},
    {-4257, "VKTCL: Undersized Response Buffer."},
    {-4258, "VKTCL: Illegal Cache Size (<=0)."},
    {-4260, "VKTCL: No Plug-In module installed."},
    {-4261, "VKTCL: Plug-In module already installed."},
    {-4262, "VKTCL: Unknown Plug-In identifier."},
    {-4263, "VKTCL: Error during data stream production."},
    {-4264, "VKTCL: Error during protocol frame production."},
    {-4265, "VKTCL: Error during protocol frame analysis."},
    {-4266, "VKTCL: Error during protocol data extraction."},
    {-4270, "VKTCL: Reciept Buffer overflow."},
    {-4271, "VKTCL: Response length to large,"},
    {-4272, "VKTCL: Invalid Acknowledgement."},
    {-4273, "VKTCL: Invalid Acknowledgement length."},
    {-4274, "VKTCL: Response List not Complete."},
    {-4275, "VKTCL: Response not Complete."},
    {-4276, "VKTCL: Invalid Protocol."},
    {-4277, "VKTCL: Invalid Transmission"},
    VKTCL_DLQ(-4280, "0x00", "OK"),
    VKTCL_DLQ(-4281, "0x01", "No Transponder"),
    VKTCL_DLQ(-4282, "0x02", "Data False"),
    VKTCL_DLQ(-4283, "0x03", "Write Error"),
    VKTCL_DLQ(-4284, "0x04", "Address Error"),
    VKTCL_DLQ(-4285, "0x05", "Wrong Transponder Type"),
    VKTCL_DLQ(-4286, "0x08", "Authentication Error"),
    VKTCL_DLQ(-4287, "0x09", "Insufficient Power"),
    VKTCL_DLQ(-4288, "0x0E", "General Error"),
    VKTCL_DLQ(-4289, "0x10", "EEPROM Failure"),
    VKTCL_DLQ(-4290, "0x11", "Parameter Range Error"),
    VKTCL_DLQ(-4291, "0x80", "Unknown Command"),
    VKTCL_DLQ(-4292, "0x81", "Length Error"),
    VKTCL_DLQ(-4293, "0x82", "Command not Available"),
    VKTCL_DLQ(-4294, "0x83", "RF communication Error"),
    VKTCL_DLQ(-4295, "0x94", "More Data"),
    VKTCL_DLQ(-4296, "0x95", "ISO Error"),
    VKTCL_DLQ(-4297, "0x95", "ISO 14443 Fehler"),
}};

#undef VKTCL_DLQ

// Numbered names; there is no number 26.
constexpr std::array<CodeText, kCallerNameCount> kCallers{{
    {0, "VKManager::createNewVKTransponder"},
    {1, "VKManager::deleteVKTransponder"},
    {2, "VKManager::getVKTransponderList"},
    {3, "VKTCL_GetErrorText"},
    {4, "VKTCL_GetDLLVersion"},
    {5, "VKTCL_GetLastTransponderError"},
    {6, "VKTCL_GetLastManagerError"},
    {7, "VKTCL_NewTransponder"},
    {8, "VKTCL_DeleteTransponder"},
    {9, "VKTCL_Apdu"},
    {10, "VKTCL_Deselect"},
    {11, "VKTCL_GetResponseData"},
    {12, "VKTransponder::VKTransponder()"},
    {13, "VKTransponder::initVKTransponder()"},
    {14, "VKTransponder::getResponse()"},
    {15, "VKTransponder::buildProtocol()"},
    {16, "VKTransponder::buildModeByte()"},
    {17, "VKTransponder::sendProtocol()"},
    {18, "VKTransponder::sendProtocolBlock()"},
    {19, "VKTransponder::getPortHnd()"},
    {20, "VKTransponder::getTimeout()"},
    {21, "VKTransponder::setTimeout()"},
    {22, "VKTransponder::restoreTimeout()"},
    {23, "VKTransponder::receive()"},
    {24, "VKTransponder::apdu()"},
    {25, "VKTransponder::deselect()"},
    {27, "VKProtocol::addProtocolBlock()"},
}};

std::string_view find(const auto& table, int key) {
    for (const CodeText& row : table) {
        if (row.code == key) return row.text;
    }
    return {};
}

} // namespace

const CodeText* errorTable() {
    return kErrors.data();
}

std::string_view ownErrorText(int code) {
    return find(kErrors, code);
}

std::string_view callerName(int number) {
    return find(kCallers, number);
}

void copyText(char* out, std::string_view text) {
    const std::size_t n = text.size() < kTextSize ? text.size() : kTextSize - 1;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

} // namespace vktcl
