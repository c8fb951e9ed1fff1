#include "translation.h"

#include "code_page.h"

#include <array>
#include <cstring>
#include <utility>

namespace kestrix {
namespace {

using Table = std::array<uint8_t, 256>;

struct TablePair {
    Table FromAnsi{};
    Table ToAnsi{};
};

// Completes a partial one-to-one assignment into a pair of mutually inverse
// permutations: bytes left without a partner are paired in ascending order.
TablePair CompletePair(const std::array<int, 256>& assigned)
{
    std::array<bool, 256> taken{};
    for (int target : assigned)
        if (target >= 0)
            taken[static_cast<std::size_t>(target)] = true;
    TablePair pair;
    int nextFree = 0;
    for (int b = 0; b < 256; ++b) {
        int target = assigned[static_cast<std::size_t>(b)];
        if (target < 0) {
            while (taken[static_cast<std::size_t>(nextFree)])
                ++nextFree;
            target = nextFree;
            taken[static_cast<std::size_t>(nextFree)] = true;
        }
        pair.FromAnsi[static_cast<std::size_t>(b)] = static_cast<uint8_t>(target);
        pair.ToAnsi[static_cast<std::size_t>(target)] = static_cast<uint8_t>(b);
    }
    return pair;
}

// Assigns source -> target unless either side is already used.
void Assign(std::array<int, 256>& assigned, std::array<bool, 256>& used, int source, int target)
{
    if (assigned[static_cast<std::size_t>(source)] >= 0 || used[static_cast<std::size_t>(target)])
        return;
    assigned[static_cast<std::size_t>(source)] = target;
    used[static_cast<std::size_t>(target)] = true;
}

// Code points of the upper halves: Windows Latin-1 (0 where unassigned) and Macintosh Roman.
constexpr char16_t kWindowsLatin1High[128] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152,
    0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122,
    0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178, 0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6,
    0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF, 0x00B0, 0x00B1, 0x00B2, 0x00B3,
    0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0,
    0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD,
    0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA,
    0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF, 0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4,
    0x00F5, 0x00F6, 0x00F7, 0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF};

constexpr char16_t kMacRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5,
    0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, 0x00F2, 0x00F4,
    0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6,
    0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265,
    0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF,
    0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5,
    0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044,
    0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9,
    0x0131, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7};

// ASCII stays; the upper half pairs characters that both sets have, after the
// historical pairs 80h <-> C4h and A0h <-> A0h.
TablePair BuildMacPair()
{
    std::array<int, 256> assigned;
    assigned.fill(-1);
    std::array<bool, 256> used{};
    for (int b = 0; b < 0x80; ++b)
        Assign(assigned, used, b, b);
    Assign(assigned, used, 0x80, 0xC4);
    Assign(assigned, used, 0xA0, 0xA0);
    for (int w = 0; w < 128; ++w) {
        if (kWindowsLatin1High[w] == 0)
            continue;
        for (int m = 0; m < 128; ++m)
            if (kMacRomanHigh[m] == kWindowsLatin1High[w])
                Assign(assigned, used, 0x80 + w, 0x80 + m);
    }
    return CompletePair(assigned);
}

// EBCDIC (code page 37) positions of the ASCII characters and common controls.
TablePair BuildEbcdicPair()
{
    std::array<int, 256> assigned;
    assigned.fill(-1);
    std::array<bool, 256> used{};
    for (int b : {0x00, 0x01, 0x02, 0x03, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x18, 0x19, 0x1C, 0x1D,
                  0x1E, 0x1F})
        Assign(assigned, used, b, b);
    constexpr std::pair<int, int> kRows[] = {
        {0x09, 0x05}, {0x0A, 0x25}, {0x7F, 0x07}, {0x08, 0x16}, {0x1B, 0x27}, {0x20, 0x40}, {'.', 0x4B},
        {'<', 0x4C},  {'(', 0x4D},  {'+', 0x4E},  {'|', 0x4F},  {'&', 0x50},  {'!', 0x5A},  {'$', 0x5B},
        {'*', 0x5C},  {')', 0x5D},  {';', 0x5E},  {'-', 0x60},  {'/', 0x61},  {',', 0x6B},  {'%', 0x6C},
        {'_', 0x6D},  {'>', 0x6E},  {'?', 0x6F},  {'`', 0x79},  {':', 0x7A},  {'#', 0x7B},  {'@', 0x7C},
        {'\'', 0x7D}, {'=', 0x7E},  {'"', 0x7F},  {'~', 0xA1},  {'^', 0xB0},  {'[', 0xBA},  {']', 0xBB},
        {'{', 0xC0},  {'}', 0xD0},  {'\\', 0xE0}, {0xAC, 0x5F}, {0xA2, 0x4A}, {0xA0, 0x41}};
    for (const auto& [ansi, ebcdic] : kRows)
        Assign(assigned, used, ansi, ebcdic);
    for (int i = 0; i < 10; ++i)
        Assign(assigned, used, '0' + i, 0xF0 + i);
    for (int i = 0; i < 9; ++i) {
        Assign(assigned, used, 'A' + i, 0xC1 + i);
        Assign(assigned, used, 'J' + i, 0xD1 + i);
        Assign(assigned, used, 'a' + i, 0x81 + i);
        Assign(assigned, used, 'j' + i, 0x91 + i);
    }
    for (int i = 0; i < 8; ++i) {
        Assign(assigned, used, 'S' + i, 0xE2 + i);
        Assign(assigned, used, 's' + i, 0xA2 + i);
    }
    return CompletePair(assigned);
}

const TablePair& MacPair()
{
    static const TablePair kPair = BuildMacPair();
    return kPair;
}

const TablePair& EbcdicPair()
{
    static const TablePair kPair = BuildEbcdicPair();
    return kPair;
}

struct CustomPair {
    Table FromAnsi{};
    Table ToAnsi{};
    CustomPair()
    {
        for (int i = 0; i < 256; ++i)
            FromAnsi[static_cast<std::size_t>(i)] = ToAnsi[static_cast<std::size_t>(i)] = static_cast<uint8_t>(i);
    }
};

CustomPair& Custom()
{
    static CustomPair pair;
    return pair;
}

void MapThrough(const uint8_t* table, const uint8_t* source, uint8_t* destination, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        destination[i] = table[source[i]];
}

void MapThrough(uint8_t (*convert)(uint8_t) noexcept, const uint8_t* source, uint8_t* destination, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        destination[i] = convert(source[i]);
}

void Translate(uint8_t kind, bool fromAnsi, const uint8_t* source, uint8_t* destination, int32_t count)
{
    if (count <= 0)
        return;
    switch (kind & 0x7F) {
    case tkAsIs: std::memmove(destination, source, static_cast<std::size_t>(count)); break;
    case tkDos8:
    case tkASCII: MapThrough(fromAnsi ? &AnsiToOem : &OemToAnsi, source, destination, count); break;
    case tkMac:
        MapThrough(fromAnsi ? MacPair().FromAnsi.data() : MacPair().ToAnsi.data(), source, destination, count);
        break;
    case tkBCD:
        MapThrough(fromAnsi ? EbcdicPair().FromAnsi.data() : EbcdicPair().ToAnsi.data(), source, destination, count);
        break;
    case tkCustom:
        MapThrough(fromAnsi ? CustomFromAnsiTable() : CustomToAnsiTable(), source, destination, count);
        break;
    default: break;
    }
}

}  // namespace

void TranslateFromAnsi(uint8_t kind, const uint8_t* source, uint8_t* destination, int32_t count)
{
    Translate(kind, true, source, destination, count);
}

void TranslateToAnsi(uint8_t kind, const uint8_t* source, uint8_t* destination, int32_t count)
{
    Translate(kind, false, source, destination, count);
}

uint8_t* CustomFromAnsiTable()
{
    return Custom().FromAnsi.data();
}
uint8_t* CustomToAnsiTable()
{
    return Custom().ToAnsi.data();
}

}  // namespace kestrix
