#pragma once

#include <cstdint>

namespace kestrix {

// Character set in which the image's bytes are read as text.
enum TTranslationKind : uint8_t { tkAsIs = 0, tkDos8 = 1, tkASCII = 2, tkMac = 3, tkBCD = 4, tkCustom = 5 };

// Converts count bytes of ANSI (Windows-1251) text into the character set of
// kind. Source and destination may be the same block. Only the low seven bits
// of kind count; a kind above tkCustom leaves the destination untouched.
void TranslateFromAnsi(uint8_t kind, const uint8_t* source, uint8_t* destination, int32_t count);
// The reverse conversion, from the character set of kind into ANSI text.
void TranslateToAnsi(uint8_t kind, const uint8_t* source, uint8_t* destination, int32_t count);

// The custom pair, shared by every buffer and the identity at start-up.
uint8_t* CustomFromAnsiTable();
uint8_t* CustomToAnsiTable();

}  // namespace kestrix
