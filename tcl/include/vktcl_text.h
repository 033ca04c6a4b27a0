// libvktcl: further text helpers, exported under their C++ names.
#ifndef VKTCL_TEXT_H
#define VKTCL_TEXT_H

#include <string>

#define VKTCL_TEXT_API __attribute__((visibility("default")))

// getErrorText, then `text` (256 bytes).
VKTCL_TEXT_API char* VktclGetErrorText(int code, char* text);
// The text function behind VKTCL_GetErrorText (256 bytes).
VKTCL_TEXT_API int getErrorText(int code, char* text);
// The name of one of the library's operations by number (256 bytes); a number
// without a name writes a text naming it.
VKTCL_TEXT_API void getCallerText(int number, char* text);
// Does nothing.
VKTCL_TEXT_API void printError(int, long, int);
// The code whose text describes a reader status byte (0x01 -> -4281 ... 0x96 ->
// -4297); any other status is returned unchanged.
VKTCL_TEXT_API int translateDLQStatus(unsigned char status);
// Appends "%02X " per byte to `text` (not emptied first) and returns its text; a
// length above 65535 leaves the string alone and returns
// "ERROR: APDU length > 65535".
VKTCL_TEXT_API const char* VktclApduStream2String(unsigned char* data, int length, std::string& text);

#endif
