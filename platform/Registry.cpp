#include "platform/Registry.h"

#include <QString>

#include <algorithm>

namespace vorn::reg
{

const char* const RootNames[RootCount] = { "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA" };

qsizetype nameLength(const QByteArray& name)
{
    if (std::all_of(name.begin(), name.end(), [](char c) { return (c & 0x80) == 0; }))
        return name.size();
    const QString decoded = QString::fromUtf8(name);
    return decoded.toUtf8() == name ? decoded.size() : name.size();
}

std::int32_t splitKeyPath(const QByteArray& path, QByteArrayList& parts)
{
    if (path.startsWith('\\'))
        return BadPathName;
    for (const QByteArray& part : path.split('\\')) {
        if (part.isEmpty())
            continue;
        if (nameLength(part) > MaxKeyNameLength)
            return InvalidParameter;
        parts.append(part);
    }
    return Success;
}

} // namespace vorn::reg
