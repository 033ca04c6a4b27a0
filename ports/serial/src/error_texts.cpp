#include "error_texts.h"

#include "error_codes.h"

#include <vkcommon/language_id.h>

#include <cstdio>
#include <cstring>

namespace vkcom {

namespace {

struct ErrorText {
    int code;
    const char* english;
    const char* german;
};

constexpr ErrorText kTexts[] = {
    {0, "VIZER: OK", "VIZER: OK"},
    {-1000, "VIZER: error while creating new port object",
     "VIZER: Fehler beim Erzeugen eines neuen Port-Objektes"},
    {-1001, "VIZER: empty port list", "VIZER: Leere Portliste"},
    {-1002, "VIZER: pointer is NULL", "VIZER: Zeiger ist NULL"},
    {-1003, "VIZER: no more memory", "VIZER: Nicht genuegend Programmspeicher"},
    {-1004, "VIZER: unsupported hardware", "VIZER: Nicht unterstuetzte Hardware"},
    {-1005, "VIZER: port is not found", "VIZER: Port ist nicht vorhanden"},
    {-1006, "VIZER: Unsupported function or option", "VIZER: Nicht unterstuetzte Funktion oder Option"},
    {-1010, "VIZER: error while open port", "VIZER: Fehler beim Oeffnen des Ports"},
    {-1011, "VIZER: port open timeout", "VIZER: Timeout beim Oeffnen des Ports"},
    {-1012, "VIZER: port number is false", "VIZER: Fehlerhafte Portnummer"},
    {-1013, "VIZER: port is already open", "VIZER: Port ist bereits geoeffnet"},
    {-1020, "VIZER: unknown port handle", "VIZER: Unbekannter Port-Handle"},
    {-1021, "VIZER: port handle is zero", "VIZER: Port-Handle ist null"},
    {-1022, "VIZER: port handle is negativ", "VIZER: Port-Handle ist negativ"},
    {-1023, "VIZER: no port handle found", "VIZER: Kein Port-Handle gefunden"},
    {-1030, "VIZER: receive timeout", "VIZER: Timeout beim Lesen vom Port"},
    {-1031, "VIZER: no transmit protocol", "VIZER: Kein Sendeprotokoll uebergeben"},
    {-1032, "VIZER: error in read process", "VIZER: Fehler im Empfangsprozess"},
    {-1033, "VIZER: communication process not started", "VIZER: Fehler beim Initialisieren des Ports"},
    {-1034, "VIZER: error in delete input buffer", "VIZER: Fehler beim Loeschen des Empfangspuffers"},
    {-1035, "VIZER: error in delete output buffer", "VIZER: Fehler beim Loeschen des Sendepuffers"},
    {-1036, "VIZER: error in change port parameter", "VIZER: Fehler beim Aendern eines Port-Parameters"},
    {-1037, "VIZER: error in transmit process", "VIZER: Fehler im Sendeprozess"},
    {-1038, "VIZER: noise data received (frame and/or parity is false)",
     "VIZER: Verrauschte Daten empfangen (Rahmen und/oder Paritaet sind falsch)"},
    {-1039, "VIZER: error in read port parameter", "VIZER: Fehler beim Lesen der Portparameter"},
    {-1050, "VIZER: unknown parameter", "VIZER: Uebergabeparameter ist nicht bekannt"},
    {-1051, "VIZER: parameter out of range", "VIZER: Uebergabeparameter ist zu gross oder zu klein"},
    {-1052, "VIZER: odd parameterstring",
     "VIZER: Es wird eine Zeichenkette mit gerader Anzahl Zeichen erwartet"},
    {-1053, "VIZER: port number out of range",
     "VIZER: Portnummer ist ausserhalb des gueltigen Bereichs (1..256)"},
    {-1054, "VIZER: unknown error code", "VIZER: Unbekannte Fehlerkonstante"},
    {-1070, "VIZER: receive buffer overflow", "VIZER: Ueberlauf des Empfangspuffers"},
};

} // namespace

int writeErrorText(int code, int language, char* text) {
    if (language != vk::kLanguageGerman && language != vk::kLanguageEnglish) return kErrUnknownParameter;
    const bool german = language == vk::kLanguageGerman;
    for (const ErrorText& entry : kTexts) {
        if (entry.code == code) {
            std::strcpy(text, german ? entry.german : entry.english);
            return kOk;
        }
    }
    // At most 35 + 11 characters: well inside the 74 bytes a caller provides.
    std::snprintf(text, kLongestErrorText + 1,
                  german ? "VIZER: Unbekannte Fehlerkonstante: %d" : "VIZER: unknown error code: %d", code);
    return kErrUnknownCode;
}

} // namespace vkcom
