#pragma once

#include "platform/Registry.h"

#include <functional>

// Passes every call to a real hive, recording what the store does and
// injecting the faults a test asks for.
class FaultyRegistry : public vorn::Registry
{
public:
    explicit FaultyRegistry(vorn::Registry& inner)
        : inner_(inner)
    {
    }

    int openHandles = 0;
    QByteArrayList writtenNames;
    std::int32_t closeResult = 0;
    std::int32_t createResult = 0;
    std::function<void()> beforeDataRead;

    std::int32_t openKey(vorn::HKEY parent, const QByteArray& path, std::uint32_t access, vorn::HKEY& result) override
    {
        const std::int32_t code = inner_.openKey(parent, path, access, result);
        openHandles += code == 0;
        return code;
    }
    std::int32_t createKey(
        vorn::HKEY parent, const QByteArray& path, std::uint32_t access, vorn::HKEY& result, bool* created) override
    {
        if (createResult != 0)
            return createResult;
        const std::int32_t code = inner_.createKey(parent, path, access, result, created);
        openHandles += code == 0;
        return code;
    }
    std::int32_t queryValue(
        vorn::HKEY key, const QByteArray& name, std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) override
    {
        if (data != nullptr && beforeDataRead)
            std::exchange(beforeDataRead, nullptr)();
        return inner_.queryValue(key, name, type, data, size);
    }
    std::int32_t setValue(vorn::HKEY key, const QByteArray& name, std::uint32_t type, const std::uint8_t* data,
        std::uint32_t size) override
    {
        writtenNames.append(name);
        return inner_.setValue(key, name, type, data, size);
    }
    std::int32_t closeKey(vorn::HKEY key) override
    {
        const std::int32_t code = inner_.closeKey(key);
        openHandles -= code == 0;
        return closeResult != 0 ? closeResult : code;
    }
    std::int32_t deleteKey(vorn::HKEY parent, const QByteArray& path) override
    {
        return inner_.deleteKey(parent, path);
    }
    std::int32_t deleteValue(vorn::HKEY key, const QByteArray& name) override { return inner_.deleteValue(key, name); }
    std::int32_t enumKeys(vorn::HKEY key, QByteArrayList& names) override { return inner_.enumKeys(key, names); }
    std::int32_t enumValues(vorn::HKEY key, std::vector<vorn::RegValue>& values) override
    {
        return inner_.enumValues(key, values);
    }
    QString problem() const override { return inner_.problem(); }

private:
    vorn::Registry& inner_;
};
