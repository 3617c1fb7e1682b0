#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

// The registry service: a tree of keys under predefined roots, each key
// holding named, typed values. Calls answer with Win32 result codes so that
// callers behave as they would against the real registry. Names and paths are
// UTF-8 text (other bytes are names too); lookups ignore case as the real
// registry does, upper-casing each UTF-16 character on its own, and keys and
// values keep the case they were first written with. Path parts are separated
// by backslashes.
namespace vorn
{

using HKEY = std::uint32_t;

namespace reg
{

// Result codes.
constexpr std::int32_t Success = 0;
constexpr std::int32_t FileNotFound = 2;
constexpr std::int32_t AccessDenied = 5;
constexpr std::int32_t InvalidHandle = 6;
constexpr std::int32_t InvalidParameter = 87;
constexpr std::int32_t BadPathName = 161;
constexpr std::int32_t MoreData = 234;
constexpr std::int32_t NoMoreItems = 259;
constexpr std::int32_t BadDatabase = 1009;
constexpr std::int32_t IoFailed = 1016;
constexpr std::int32_t KeyDeleted = 1018;

// Value types.
constexpr std::uint32_t REG_NONE = 0;
constexpr std::uint32_t REG_SZ = 1;
constexpr std::uint32_t REG_EXPAND_SZ = 2;
constexpr std::uint32_t REG_BINARY = 3;
constexpr std::uint32_t REG_DWORD = 4;
constexpr std::uint32_t REG_DWORD_BIG_ENDIAN = 5;
constexpr std::uint32_t REG_LINK = 6;
constexpr std::uint32_t REG_MULTI_SZ = 7;
constexpr std::uint32_t REG_RESOURCE_LIST = 8;
constexpr std::uint32_t REG_FULL_RESOURCE_DESCRIPTOR = 9;
constexpr std::uint32_t REG_RESOURCE_REQUIREMENTS_LIST = 10;
constexpr std::uint32_t REG_QWORD = 11;

// Predefined roots.
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
constexpr HKEY HKEY_USERS = 0x80000003;
constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004;
constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005;
constexpr HKEY HKEY_DYN_DATA = 0x80000006;
constexpr int RootCount = 7;

// Root names as REGEDIT text writes them, indexed by handle - HKEY_CLASSES_ROOT.
extern const char* const RootNames[RootCount];

// Access masks.
constexpr std::uint32_t KEY_QUERY_VALUE = 0x0001;
constexpr std::uint32_t KEY_SET_VALUE = 0x0002;
constexpr std::uint32_t KEY_CREATE_SUB_KEY = 0x0004;
constexpr std::uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr std::uint32_t KEY_NOTIFY = 0x0010;
constexpr std::uint32_t KEY_CREATE_LINK = 0x0020;
constexpr std::uint32_t DELETE = 0x00010000;
constexpr std::uint32_t KEY_READ = 0x00020019;
constexpr std::uint32_t KEY_WRITE = 0x00020006;
constexpr std::uint32_t KEY_ALL_ACCESS = 0x000F003F;

// Longest key name part and value name, in characters.
constexpr int MaxKeyNameLength = 255;
constexpr int MaxValueNameLength = 16383;

// A name's length as the limits count it: UTF-16 characters of UTF-8 text,
// bytes of anything else.
qsizetype nameLength(const QByteArray& name);

// Splits a key path into its parts as create and open do: empty parts
// (doubled or trailing backslashes) are dropped; a leading backslash gives
// BadPathName, a part over MaxKeyNameLength InvalidParameter.
std::int32_t splitKeyPath(const QByteArray& path, QByteArrayList& parts);

} // namespace reg

struct RegValue {
    QByteArray name;
    std::uint32_t type = reg::REG_NONE;
    QByteArray data;
};

class Registry
{
public:
    virtual ~Registry() = default;

    // Opens an existing key below `parent`; an empty path gives a new handle
    // to `parent` (the root handle itself for a predefined root).
    virtual std::int32_t openKey(HKEY parent, const QByteArray& path, std::uint32_t access, HKEY& result) = 0;

    // Opens or creates a key and every missing key above it. `created`, when
    // given, tells whether the key was new.
    virtual std::int32_t createKey(
        HKEY parent, const QByteArray& path, std::uint32_t access, HKEY& result, bool* created = nullptr)
        = 0;

    // Reads a value; an empty name is the default value. With `data` null only
    // the type and size are returned. `size` is the buffer size on entry and
    // the value's size on return; a buffer too small gives reg::MoreData.
    virtual std::int32_t queryValue(
        HKEY key, const QByteArray& name, std::uint32_t* type, std::uint8_t* data, std::uint32_t* size)
        = 0;

    // Stores a value as given, replacing any value of that name.
    virtual std::int32_t setValue(
        HKEY key, const QByteArray& name, std::uint32_t type, const std::uint8_t* data, std::uint32_t size)
        = 0;

    virtual std::int32_t closeKey(HKEY key) = 0;

    // Deletes a key that has no subkeys, with its values.
    virtual std::int32_t deleteKey(HKEY parent, const QByteArray& path) = 0;
    virtual std::int32_t deleteValue(HKEY key, const QByteArray& name) = 0;

    // The names of the direct subkeys and all values of a key, sorted by name.
    virtual std::int32_t enumKeys(HKEY key, QByteArrayList& names) = 0;
    virtual std::int32_t enumValues(HKEY key, std::vector<RegValue>& values) = 0;

    // Runs `changes` as one transaction: unless they return Success and all
    // of them are stored, none are, even when the process dies half-way. A
    // store without transactions applies them as they come.
    virtual std::int32_t transact(const std::function<std::int32_t()>& changes) { return changes(); }

    // Why the store cannot be used (damaged or unreadable file), or empty.
    virtual QString problem() const = 0;
};

} // namespace vorn
