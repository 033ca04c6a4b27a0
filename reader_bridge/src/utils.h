// Hex-text conversions shared by the command interface and the dongle reader.
#ifndef KESTOREADER_UTILS_H
#define KESTOREADER_UTILS_H

namespace vemlasdknative {

extern "C" {

// n bytes as 2n upper-case hex digits and a closing zero; returns 1.
int Hex2Asc(char* dest, const unsigned char* src, int n);
// chars / 2 digit pairs into bytes and a zero byte after them (an odd last digit
// is dropped). Each pair must be two hex digits of either case: at the first
// that is not, the conversion stops, writes the zero byte after the bytes
// converted so far and returns 0. Otherwise 1.
int Asc2Hex(unsigned char* dest, const char* src, int chars);
// The same, reading from pair `start` (1-based: character 2 * (start - 1));
// `chars` counts the characters read from there. 0 for a start below 1.
int Asc2HexWithCursor(unsigned char* dest, const char* src, int chars, int start);
// Copies n bytes to dest + start; returns 1 (0 for a negative n or start).
int Hex2HexWithCursor(unsigned char* dest, const unsigned char* src, int n, int start);
// XOR of all bytes; 0 for a size of 0 or less.
unsigned char ComputeXor(const unsigned char* buffer, int size);

} // extern "C"

} // namespace vemlasdknative

#endif
