#include "texts/error_texts.h"

#include "exchange/port_api.h"
#include "texts/error_codes.h"

#include <vkcommon/error_code_range.h>
#include <vkcommon/language_id.h>

#include <cstdio>
#include <cstring>

namespace vkkrn {

namespace {

struct ErrorTextRow {
    int code;
    const char* english;
    const char* german; // ISO 8859-1
};

// German umlauts are written as escapes and the literal split after each, so
// that a following hex letter is not taken into the escape.
constexpr ErrorTextRow kErrorTexts[] = {
    {-4000, "VKKRN: (-4000) error while creating new reader object",
     "VKKRN: (-4000) Fehler beim Erzeugen eines neuen Leser-Objektes"},
    {-4001, "VKKRN: (-4001) empty reader list", "VKKRN: (-4001) Leere Leserliste"},
    {-4002, "VKKRN: (-4002) an internal pointer is NULL", "VKKRN: (-4002) Zeiger ist NULL"},
    {-4003, "VKKRN: (-4003) no more memory",
     "VKKRN: (-4003) Nicht gen\xFC"
     "gend Programmspeicher"},
    {-4004, "VKKRN: (-4004) unknown communication mode", "VKKRN: (-4004) Unbekannter Kommunikationsmodus"},
    {-4005, "VKKRN: (-4005) unsupported function",
     "VKKRN: (-4005) Funktion wird nicht unterst\xFC"
     "tzt"},
    {-4006, "VKKRN: (-4006) this operating system supports not USB",
     "VKKRN: (-4006) Dieses Betriebssystem unterst\xFC"
     "tzt kein USB"},
    {-4007, "VKKRN: (-4007) old version of VIZER.DLL detectet",
     "VKKRN: (-4007) Alte Version von VIZER.DLL gefunden"},
    {-4010, "VKKRN: (-4010) no value found", "VKKRN: (-4010) Kein Datenwert vorhanden"},
    {-4020, "VKKRN: (-4020) unknown reader handle", "VKKRN: (-4020) Unbekannter Leser-Handle"},
    {-4021, "VKKRN: (-4021) reader handle is zero", "VKKRN: (-4021) Leser-Handle ist 0"},
    {-4022, "VKKRN: (-4022) reader handle is negative", "VKKRN: (-4022) Leser-Handle ist negativ"},
    {-4023, "VKKRN: (-4023) no reader handle found", "VKKRN: (-4023) Kein Leser-Handle gefunden"},
    {-4024, "VKKRN: (-4024) port handle is negative", "VKKRN: (-4024) Der Port-Handle ist negativ"},
    {-4025, "VKKRN: (-4025) unvalid reader handle",
     "VKKRN: (-4025) Ung\xFC"
     "ltiger Leser-Handle"},
    {-4030, "VKKRN: (-4030) protocol length error",
     "VKKRN: (-4030) Fehlerhafte Protokolll\xE4"
     "nge"},
    {-4031, "VKKRN: (-4031) checksum error", "VKKRN: (-4031) Checksummen-Fehler"},
    {-4032, "VKKRN: (-4032) busy timeout", "VKKRN: (-4032) Busy Timeout"},
    {-4033, "VKKRN: (-4033) unknown status byte", "VKKRN: (-4033) Unbekanntes Statusbyte"},
    {-4034, "VKKRN: (-4034) no USB receive protocol", "VKKRN: (-4034) Kein USB-Protokoll empfangen"},
    {-4035, "VKKRN: (-4035) false command byte in receive protocol",
     "VKKRN: (-4035) Falsches Steuerbyte im Antwortprotokoll"},
    {-4036, "VKKRN: (-4036) error in USB protocol transaction",
     "VKKRN: (-4036) Fehler in der USB-Kommunikation"},
    {-4037, "VKKRN: (-4037) false busaddress in receive protocol",
     "VKKRN: (-4037) Falsche Busadresse im Empfangsprotokoll"},
    {-4038, "VKKRN: (-4038) Reader is in power save mode", "VKKRN: (-4038) Leser ist im Stromsparmodus"},
    {-4050, "VKKRN: (-4050) unknown parameter", "VKKRN: (-4050) Unbekannter Parameter"},
    {-4051, "VKKRN: (-4051) parameter out of range",
     "VKKRN: (-4051) Parameter au\xDF"
     "erhalb des zul\xE4"
     "ssigen Wertebereichs"},
    {-4052, "VKKRN: (-4052) odd parameterstring", "VKKRN: (-4052) Ungerader Parameter-String"},
    {-4053, "VKKRN: (-4053) unknown error code", "VKKRN: (-4053) Unbekannter Fehlercode"},
    {-4054, "VKKRN: (-4054) unsupported option",
     "VKKRN: (-4054) Option wird nicht unterst\xFC"
     "tzt"},
    {-4055, "VKKRN: (-4055) Unknown EPC type", "VKKRN: (-4055) unbekannter EPC-Typ"},
    {-4056, "VKKRN: (-4056) parameter is locked", "VKKRN: (-4056) Parameter ist gesperrt"},
    {-4060, "VKKRN: (-4060) no plug-in module installed",
     "VKKRN: (-4060) Es ist kein Plug-In Modul installiert"},
    {-4061, "VKKRN: (-4061) plug-in module already installed",
     "VKKRN: (-4061) Plug-In Modul bereits installiert"},
    {-4062, "VKKRN: (-4062) unknown plug-in identifier", "VKKRN: (-4062) Unbekannte Plug-In Konstante"},
    {-4063, "VKKRN: (-4063) error while building data stream",
     "VKKRN: (-4063) Fehler beim Bilden des Datenstromes"},
    {-4064, "VKKRN: (-4064) error while building protocol frame",
     "VKKRN: (-4064) Fehler beim Bilden des Protokollrahmens"},
    {-4065, "VKKRN: (-4065) error while split the protocol frame",
     "VKKRN: (-4065) Fehler beim Zerlegen des Protokollrahmens"},
    {-4066, "VKKRN: (-4066) error while extracting the protocol data",
     "VKKRN: (-4066) Fehler beim Extrahieren der Protokolldaten"},
    {-4067, "VKKRN: (-4067) error while getting Plug-in", "VKKRN: (-4067) Fehler beim Abfragen des Plug-in"},
    {-4068, "VKKRN: (-4068) error while load Plug-in library",
     "VKKRN: (-4068) Fehler beim Laden eines Plug-in"},
    {-4069, "VKKRN: (-4069) error while release Plug-in",
     "VKKRN: (-4069) Fehler beim Freigeben eines Plug-in"},
    {-4070, "VKKRN: (-4070) receive buffer overflow",
     "VKKRN: (-4070) \xDC"
     "berlauf des Empfangspuffers"},
    {-4080, "VKKRN: (-4080) asynchronous task is still running",
     "VKKRN: (-4080) Asynchroner Task bereits gestartet"},
    {-4081, "VKKRN: (-4081) asynchronous task not started",
     "VKKRN: (-4081) Asynchroner Task konnte nicht gestartet werden"},
    {-4082, "VKKRN: (-4082) asynchronous task finished with timeout. Reader has sent no reply",
     "VKKRN: (-4082) Asynchroner Task mit Timeout beendet. Leser antwortet nicht mehr."},
    {-4083, "VKKRN: (-4083) error while initializing a socket for asynchronous task",
     "VKKRN: (-4083) Fehler beim Initialisieren des Sockets f\xFC"
     "r asynchronen Task"},
    {-4084, "VKKRN: (-4084) asynchronous task is busy",
     "VKKRN: (-4084) Asynchroner Task kann nicht antworten..."},
    {-4085, "VKKRN: (-4085) error in cancelling of asynchronous task",
     "VKKRN: (-4085) Fehler beim Beenden des asynchronen Task"},
    {-4086, "VKKRN: (-4086) error: Port Number is already in use",
     "VKKRN: (-4086) Portnummer ist bereits in Verwendung"},
    {-4090, "VKKRN: (-4090) error while loading crypto-module",
     "VKKRN: (-4090) Fehler beim Laden des Crypto-Moduls"},
    {-4091, "VKKRN: (-4091) error while crypto initialization",
     "VKKRN: (-4091) Fehler bei der Initialisierung des Crypto-Moduls"},
    {-4092, "VKKRN: (-4092) error in authentication process",
     "VKKRN: (-4092) Fehler im Authentifizierungsprozess"},
    {-4093, "VKKRN: (-4093) error in encipher process",
     "VKKRN: (-4093) Fehler beim Verschl\xFC"
     "sseln"},
    {-4094, "VKKRN: (-4094) error in decipher process",
     "VKKRN: (-4094) Fehler beim Entschl\xFC"
     "sseln"},
};

// Port texts and formatted texts of the calling thread.
thread_local char t_textBuffer[kErrorTextSize];

// The port library's text of `code` through its text function `Fn` (id `functionId`).
template <typename Fn> const char* portText(LibraryServices& library, int functionId, int code) {
    t_textBuffer[0] = '\0';
    if (auto text = library.PortFunction<Fn>(functionId)) {
        text(code, t_textBuffer);
        t_textBuffer[kErrorTextSize - 1] = '\0';
    }
    return t_textBuffer;
}

const ErrorTextRow* findRow(int code) {
    for (const ErrorTextRow& row : kErrorTexts) {
        if (row.code == code) return &row;
    }
    return nullptr;
}

// The text of `code`; `known` is false for a code without a text of its own.
const char* lookupErrorText(int code, LibraryServices& library, bool& known) {
    known = true;
    switch (vk::errorOwner(code)) {
    case vk::ErrorOwner::Serial: return portText<VIZER_GetErrorText_Fn>(library, kIdSerialErrorText, code);
    case vk::ErrorOwner::Usb: return portText<VKUSB_GetErrorText_Fn>(library, kIdUsbErrorText, code);
    case vk::ErrorOwner::Tcp: return portText<VKTCP_GetErrorText_Fn>(library, kIdTcpErrorText, code);
    default: break;
    }
    const int language = library.GetLanguage();
    if (language != vk::kLanguageGerman && language != vk::kLanguageEnglish)
        return "VKKRN: False language setting";
    const bool german = language == vk::kLanguageGerman;
    if (const ErrorTextRow* row = findRow(code)) return german ? row->german : row->english;
    known = false;
    std::snprintf(t_textBuffer, sizeof t_textBuffer,
                  german ? "VKKRN: Unbekannter Fehlercode (%d)" : "VKKRN: Unknown Errorcode (%d)", code);
    return t_textBuffer;
}

} // namespace

const char* errorText(int code, LibraryServices& library) {
    bool known = true;
    const char* text = lookupErrorText(code, library, known);
    if (!known) library.SetLastError(kErrUnknownErrorCode);
    return text;
}

int copyErrorText(int code, char* out, LibraryServices& library) {
    bool known = true;
    const char* text = lookupErrorText(code, library, known);
    std::size_t n = std::strlen(text);
    if (n >= static_cast<std::size_t>(kErrorTextSize)) n = kErrorTextSize - 1;
    std::memcpy(out, text, n);
    out[n] = '\0';
    const int result = known ? 0 : kErrUnknownErrorCode;
    library.SetLastError(result);
    return result;
}

} // namespace vkkrn
