#pragma once

#include "platform/Registry.h"

// A hive that can be read but not written, seen as one whose existing keys
// open for reading: the store opens a key "creating it when missing", which
// such a hive refuses even for keys that are there. Writes still fail.
class ReadOnlyHive final : public vorn::Registry
{
public:
    explicit ReadOnlyHive(vorn::Registry& inner)
        : inner_(inner)
    {
    }

    std::int32_t openKey(vorn::HKEY parent, const QByteArray& path, std::uint32_t access, vorn::HKEY& result) override
    {
        return inner_.openKey(parent, path, access, result);
    }
    std::int32_t createKey(
        vorn::HKEY parent, const QByteArray& path, std::uint32_t, vorn::HKEY& result, bool* created) override
    {
        if (created != nullptr)
            *created = false;
        const std::int32_t code = inner_.openKey(parent, path, vorn::reg::KEY_READ, result);
        return code == vorn::reg::FileNotFound ? vorn::reg::AccessDenied : code;
    }
    std::int32_t queryValue(
        vorn::HKEY key, const QByteArray& name, std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) override
    {
        return inner_.queryValue(key, name, type, data, size);
    }
    std::int32_t setValue(vorn::HKEY, const QByteArray&, std::uint32_t, const std::uint8_t*, std::uint32_t) override
    {
        return vorn::reg::AccessDenied;
    }
    std::int32_t closeKey(vorn::HKEY key) override { return inner_.closeKey(key); }
    std::int32_t deleteKey(vorn::HKEY, const QByteArray&) override { return vorn::reg::AccessDenied; }
    std::int32_t deleteValue(vorn::HKEY, const QByteArray&) override { return vorn::reg::AccessDenied; }
    std::int32_t enumKeys(vorn::HKEY key, QByteArrayList& names) override { return inner_.enumKeys(key, names); }
    std::int32_t enumValues(vorn::HKEY key, std::vector<vorn::RegValue>& values) override
    {
        return inner_.enumValues(key, values);
    }
    QString problem() const override { return inner_.problem(); }

private:
    vorn::Registry& inner_;
};
