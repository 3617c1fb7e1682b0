// Arbitrary stored data through TRegFile::ReadValue. Input: 4 bytes of
// registry type (little-endian), then the value's bytes. Whatever is read
// must write back and read again as the same value.
#include "platform/linux/SqliteRegistry.h"
#include "settings/RegFiles.h"

#include <QTemporaryDir>

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    const auto require = [](bool holds) {
        if (!holds)
            __builtin_trap();
    };
    std::uint32_t type = 0;
    std::memcpy(&type, data, 4);
    const QByteArray bytes(reinterpret_cast<const char*>(data + 4), qsizetype(size - 4));
    static QTemporaryDir dir;
    static vorn::SqliteRegistry hive(dir.filePath(QStringLiteral("registry.db")));

    vorn::HKEY key = 0;
    require(hive.createKey(vorn::reg::HKEY_CURRENT_USER, "Fuzz", vorn::reg::KEY_ALL_ACCESS, key) == 0);
    require(hive.setValue(key, "v", type, data + 4, std::uint32_t(size - 4)) == 0);
    hive.closeKey(key);

    TRegFile reg(nullptr, &hive);
    reg.Key = QStringLiteral("Fuzz");
    const Variant value = reg.ReadValue(QStringLiteral("v"));
    require(reg.KeyHandle() == 0);
    if (bytes.isEmpty()) {
        require(value.isNull());
        return 0;
    }
    if (value.isText())
        require(type == vorn::reg::REG_SZ && bytes.startsWith(value.text()));
    if (value.isEmpty() || value.isNull())
        return 0;
    reg.WriteValue(QStringLiteral("w"), value);
    // Smallints and booleans are stored as plain 32-bit integers.
    require(reg.ReadValue(QStringLiteral("w")) == (value.isInteger() ? Variant(value.toInt()) : value));
    return 0;
}
