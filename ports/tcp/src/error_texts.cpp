#include "error_texts.h"

#include <vkcommon/language_id.h>

#include <array>
#include <cstdio>
#include <cstring>

namespace vktcp {

namespace {

// German texts write umlauts as ae, oe, ue; the one sharp s is UTF-8 (C3 9F).
constexpr std::array<ErrorTextRow, 23> kRows{{
    {0, "VKTCP: OK", "VKTCP: OK"},
    {-1200, "VKTCP: (-1200) error while creating new socket object",
     "VKTCP: (-1200) Fehler beim Erzeugen eines neuen Socket-Objektes"},
    {-1201, "VKTCP: (-1201) empty socket list", "VKTCP: (-1201) Leere Socketliste"},
    {-1202, "VKTCP: (-1202) pointer is NULL", "VKTCP: (-1202) Zeiger ist NULL"},
    {-1203, "VKTCP: (-1203) no more memory", "VKTCP: (-1203) Nicht genuegend Programmspeicher"},
    {-1205, "VKTCP: (-1205) server not found", "VKTCP: (-1205) Server nicht gefunden"},
    {-1211, "VKTCP: (-1211) socket open timeout", "VKTCP: (-1211) Timeout beim Oeffnen des Sockets"},
    {-1212, "VKTCP: (-1212) socket number is false", "VKTCP: (-1212) Fehlerhafte Socketnummer"},
    {-1213, "VKTCP: (-1213) error while closing the socket",
     "VKTCP: (-1213) Fehler beim Schlie\xC3\x9F"
     "en der Verbindung"},
    {-1220, "VKTCP: (-1220) unknown socket handle", "VKTCP: (-1220) Unbekannter Socket-Handle"},
    {-1221, "VKTCP: (-1221) socket handle is zero", "VKTCP: (-1221) Socket-Handle ist null"},
    {-1222, "VKTCP: (-1222) socket handle is negativ", "VKTCP: (-1222) Socket-Handle ist negativ"},
    {-1223, "VKTCP: (-1223) no socket handle found", "VKTCP: (-1223) Kein Socket-Handle gefunden"},
    {-1230, "VKTCP: (-1230) receive timeout", "VKTCP: (-1230) Timeout beim Lesen vom Socket"},
    {-1232, "VKTCP: (-1232) error in read process", "VKTCP: (-1232) Fehler im Empfangsprozess"},
    {-1236, "VKTCP: (-1236) error in change socket parameter",
     "VKTCP: (-1236) Fehler beim Aendern eines Socket-Parameters"},
    {-1237, "VKTCP: (-1237) error in transmit process", "VKTCP: (-1237) Fehler im Sendeprozess"},
    {-1238, "VKTCP: (-1238) error while reading the connection state",
     "VKTCP: (-1238) Fehler beim Lesen des Verbindungszustands"},
    {-1250, "VKTCP: (-1250) unknown parameter", "VKTCP: (-1250) Uebergabeparameter ist nicht bekannt"},
    {-1251, "VKTCP: (-1251) parameter out of range",
     "VKTCP: (-1251) Uebergabeparameter ist zu gross oder zu klein"},
    {-1252, "VKTCP: (-1252) odd parameterstring",
     "VKTCP: (-1252) Es wird eine Zeichenkette mit gerader Anzahl Zeichen erwartet"},
    {-1254, "VKTCP: (-1254) unknown error code", "VKTCP: (-1254) Unbekannte Fehlerkonstante"},
    {-1270, "VKTCP: (-1270) Receive Buffer too small", "VKTCP: (-1270) Empfangspuffer zu klein"},
}};

void copyText(const char* text, char (&out)[kErrorTextBufferSize]) {
    std::snprintf(out, sizeof out, "%s", text);
}

} // namespace

std::span<const ErrorTextRow> errorTextTable() {
    return kRows;
}

bool formatErrorText(int code, int language, char (&out)[kErrorTextBufferSize]) {
    const bool german = language == vk::kLanguageGerman;
    if (!german && language != vk::kLanguageEnglish) {
        copyText("VKTCP: False language setting", out);
        return true;
    }
    for (const ErrorTextRow& row : kRows) {
        if (row.code == code) {
            copyText(german ? row.german : row.english, out);
            return true;
        }
    }
    std::snprintf(out, sizeof out,
                  german ? "VKTCP: Unbekannte Fehlerkonstante: %d" : "VKTCP: unknown error code: %d", code);
    return false;
}

} // namespace vktcp
