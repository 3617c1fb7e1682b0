#pragma once

#include "platform/Registry.h"

#include <utility>

// Raw value access for tests that look beneath the store.
namespace vorn::test
{

inline std::int32_t setRaw(Registry& hive, HKEY key, const QByteArray& name, std::uint32_t type, const QByteArray& data)
{
    return hive.setValue(
        key, name, type, reinterpret_cast<const std::uint8_t*>(data.constData()), std::uint32_t(data.size()));
}

// A value whole; the type is 0xFFFF when it cannot be read.
inline std::pair<std::uint32_t, QByteArray> getRaw(Registry& hive, HKEY key, const QByteArray& name)
{
    std::uint32_t type = 0xFFFF;
    std::uint32_t size = 0;
    if (hive.queryValue(key, name, &type, nullptr, &size) != reg::Success)
        return { 0xFFFF, {} };
    QByteArray data(qsizetype(size), '\0');
    if (hive.queryValue(key, name, &type, reinterpret_cast<std::uint8_t*>(data.data()), &size) != reg::Success)
        return { 0xFFFF, {} };
    return { type, data };
}

// One value of a key below HKEY_LOCAL_MACHINE, stored and read back.
inline std::int32_t storeRaw(
    Registry& hive, const QByteArray& path, const QByteArray& name, std::uint32_t type, const QByteArray& data)
{
    HKEY key = 0;
    std::int32_t code = hive.createKey(reg::HKEY_LOCAL_MACHINE, path, reg::KEY_ALL_ACCESS, key);
    if (code == reg::Success)
        code = setRaw(hive, key, name, type, data);
    hive.closeKey(key);
    return code;
}

inline std::pair<std::uint32_t, QByteArray> storedRaw(Registry& hive, const QByteArray& path, const QByteArray& name)
{
    HKEY key = 0;
    if (hive.openKey(reg::HKEY_LOCAL_MACHINE, path, reg::KEY_READ, key) != reg::Success)
        return { 0xFFFF, {} };
    auto value = getRaw(hive, key, name);
    hive.closeKey(key);
    return value;
}

} // namespace vorn::test
