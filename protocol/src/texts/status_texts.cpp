// German texts are written as ISO 8859-1 escapes; a literal is split after an
// escape that a hex letter follows ("\xDC" "berlauf"), which would else extend it.
#include "texts/status_texts.h"

#include <vkcommon/language_id.h>

#include <array>
#include <cstdio>
#include <cstring>

namespace vkkrn {

namespace {

struct StatusRow {
    std::uint8_t status;
    const char* english;
    const char* german;
};

constexpr StatusRow kStatusRows[] = {
    {0x00, "OK", "OK"},
    {0x01, "Reader: No Transponder in Reader Field", "Leser: Kein Transponder im Lesefeld"},
    {0x02, "Transponder: Data False", "Transponder: Fehlerhafte Daten"},
    {0x03, "Transponder: Write error", "Transponder: Fehler beim Schreiben"},
    {0x04, "Transponder: Address Error", "Transponder: Adressierungsfehler"},
    {0x05, "Reader: Wrong Transponder Type", "Leser: Falscher Transpondertyp"},
    {0x06, "Transponder: Read Error", "Transponder: Fehler beim Lesen"},
    {0x07, "Reader: Select Error", "Leser: Keine Selektion des Transponders"},
    {0x08, "Reader: Authent Error", "Leser: Authentisierungsfehler"},
    {0x0A, "Reader: Transponder Changed", "Leser: Transponder wurde gewechselt"},
    {0x0B, "Reader: Collision", "Leser: Kollision"},
    {0x0C, "Reader: Weak Collision", "Reader: Weak Collision"},
    {0x0D, "Reader: No Halt", "Reader: No Halt"},
    {0x0E, "Reader: General Error", "Reader: Allgemeiner Fehler"},
    {0x0F, "Reader: ...busy", "Leser: ...arbeitet"},
    {0x10, "Reader: EEPROM Error", "Leser: EEPROM-Fehler"},
    {0x11, "Reader: Parameter Range Error",
     "Leser: Parameter au\xDF"
     "erhalb des Wertebereichs"},
    {0x12, "Reader: Authent Error", "Leser: Authentifikationsfehler"},
    {0x13, "Reader: Login Request", "Leser: Login erwartet"},
    {0x14, "Reader: Login Error",
     "Leser: Login nicht ausgef\xFC"
     "hrt"},
    {0x15, "Reader: Read Protection", "Leser: Seite hat Leseschutz"},
    {0x16, "Reader: Write Protection", "Leser: Seite hat Schreibschutz"},
    {0x17, "Reader: Firmware activation required", "Leser: Firmware-Aktivierung erforderlich"},
    {0x18, "Reader: wrong firmware", "Leser: Falsche Firmware"},
    {0x19, "Reader: Crypto Processing Error", "Leser: Crypto-Prozess Fehler"},
    {0x20, "Reader: External Device communication error",
     "Leser: Peripherie Ger\xE4"
     "t Kommunikationsfehler"},
    {0x31, "Reader: No SAM detected", "Leser: Kein SAM erkannt"},
    {0x32, "Reader: Requested SAM is not activated", "Leser: SAM ist nicht aktiviert"},
    {0x33, "Reader: Requested SAM is already activated", "Leser: SAM ist schon aktiviert"},
    {0x34, "Reader: Requested protocol is not supported by the SAM",
     "Leser: SAM unterst\xFC"
     "tzt das Protokoll nicht"},
    {0x35, "Reader: SAM communication error", "Leser: SAM Kommunikationsfehler"},
    {0x36, "Reader: SAM Timeout", "Leser: SAM Timeout"},
    {0x80, "Reader: Unknown Command", "Leser: Unbekanntes Steuerbyte"},
    {0x81, "Reader: Protocol Length Error",
     "Leser: Protokolll\xE4"
     "ngenfehler"},
    {0x82, "Reader: Command not available",
     "Leser: Kommando nicht ausf\xFC"
     "hrbar"},
    {0x83, "Reader: RF Communication Error", "Leser: RF-Kommunikationsfehler"},
    {0x84, "Reader: RF-Warning", "Leser: RF-Warnung"},
    {0x85, "Reader: Synchronization Error", "Leser: Synchronisationsfehler"},
    {0x86, "Reader: Unsupported command option",
     "Leser: Kommando mit dieser Option nicht ausf\xFC"
     "hrbar"},
    {0x90, "Reader: Data Table Overrun",
     "Leser: Der \xE4"
     "lteste Datensatz in der Tabelle ist \xFC"
     "berschrieben worden"},
    {0x92, "Reader: No valid data",
     "Leser: Keine g\xFC"
     "ltigen Daten"},
    {0x93, "Reader: Data Table Overflow",
     "Leser: \xDC"
     "berlauf in Tabelle"},
    {0x94, "Reader: More Data",
     "Leser: Es gibt weitere g\xFC"
     "ltige Daten"},
    {0x95, "Reader: ISO-Error", "Leser: ISO-Error"},
    {0x96, "Reader: ISO14443-Error", "Leser: ISO14443-Error"},
    {0x97, "Reader: Crypto Processing Error in RF-Communication",
     "Leser: Crypto-Prozess Fehler in RF-Kommunikation"},
    {0xF1, "Reader: Hardware Warning", "Leser: Hardware-Warnung"},
    {0xF2, "Reader: Initialization Warning", "Leser: Initialisierungs-Warnung"},
    {0xF8, "Reader: Internal process cancelled", "Leser: Interner Prozess beendet"},
};

// Row index + 1 per status byte, 0 for a byte without a text.
constexpr std::array<std::uint8_t, 256> makeIndex() {
    std::array<std::uint8_t, 256> index{};
    for (std::size_t i = 0; i < std::size(kStatusRows); ++i)
        index[kStatusRows[i].status] = static_cast<std::uint8_t>(i + 1);
    return index;
}

constexpr auto kIndex = makeIndex();

} // namespace

const char* statusText(std::uint8_t status, int language) {
    if (!vk::isLanguageId(language)) return nullptr;
    const std::uint8_t row = kIndex[status];
    if (row == 0) return nullptr;
    const StatusRow& r = kStatusRows[row - 1];
    return language == vk::kLanguageGerman ? r.german : r.english;
}

int writeStatusText(std::uint8_t status, int language, char* out) {
    if (!vk::isLanguageId(language)) return -4050;
    if (const char* text = statusText(status, language)) {
        std::memcpy(out, text, std::strlen(text) + 1);
        return 0;
    }
    const char* format = language == vk::kLanguageGerman ? "VKKRN: Unbekanntes Status Byte (0x%02X)"
                                                         : "VKKRN: Unknown Statusbyte (0x%02X)";
    std::snprintf(out, kStatusTextSize, format, static_cast<unsigned>(status));
    return -4033;
}

} // namespace vkkrn
