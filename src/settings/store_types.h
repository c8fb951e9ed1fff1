#pragma once

#include <cstdint>

namespace kestrix {

enum TStorePathType : uint8_t { ptIniFile = 0, ptRegistry = 1 };
enum TRegRootKey : uint8_t {
    hkeyClassesRoot = 0,
    hkeyCurrentUser,
    hkeyLocalMachine,
    hkeyUsers,
    hkeyPerformanceData,
    hkeyCurrentConfig,
    hkeyDynData
};
enum TRegAccessKey : uint8_t {
    keyQueryValue = 0,
    keySetValue,
    keyCreateSubKey,
    keyEnumerateSubKeys,
    keyNotify,
    keyCreateLink,
    keyRead,
    keyWrite,
    keyExecute,
    keyAllAccess
};
// A set of TRegAccessKey, one bit per key (bit k = key k).
using TRegAccess = uint16_t;

// Access rights of a registry key, OR-ed together in an access mask.
constexpr uint32_t KEY_QUERY_VALUE = 0x1;
constexpr uint32_t KEY_SET_VALUE = 0x2;
constexpr uint32_t KEY_CREATE_SUB_KEY = 0x4;
constexpr uint32_t KEY_ENUMERATE_SUB_KEYS = 0x8;
constexpr uint32_t KEY_NOTIFY = 0x10;
constexpr uint32_t KEY_CREATE_LINK = 0x20;
constexpr uint32_t KEY_READ = 0x20019;
constexpr uint32_t KEY_WRITE = 0x20006;
constexpr uint32_t KEY_EXECUTE = 0x20019;
constexpr uint32_t KEY_ALL_ACCESS = 0xF003F;

// Value types of the registry, numbered as the registry numbers them.
constexpr uint32_t REG_NONE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_EXPAND_SZ = 2;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;
constexpr uint32_t REG_DWORD_BIG_ENDIAN = 5;
constexpr uint32_t REG_LINK = 6;
constexpr uint32_t REG_MULTI_SZ = 7;
constexpr uint32_t REG_QWORD = 11;

// The one-element set {key}.
constexpr TRegAccess RegAccessOf(TRegAccessKey key)
{
    return static_cast<TRegAccess>(1u << key);
}

// The access mask of a set of access keys: the rights of every key in the set
// OR-ed together; bits above keyAllAccess are ignored. The empty set gives 0.
uint32_t RegAccessMask(TRegAccess access);

}  // namespace kestrix
