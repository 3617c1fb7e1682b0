#pragma once

#include "platform/Registry.h"

#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace vorn::test
{

// A real hive that records writes (by key path) and open keys, and injects faults.
class RecordingRegistry final : public Registry
{
public:
    struct Write {
        QByteArray key;
        QByteArray name;
        std::uint32_t type;
        QByteArray data;
    };
    explicit RecordingRegistry(Registry& inner)
        : inner_(inner)
    {
    }

    std::vector<Write> writes;
    int openHandles = 0;
    std::int32_t closeResult = 0;
    std::int32_t createResult = 0;
    std::function<void()> beforeDataRead;

    std::int32_t openKey(HKEY parent, const QByteArray& path, std::uint32_t access, HKEY& result) override
    {
        return opened(inner_.openKey(parent, path, access, result), result, path);
    }
    std::int32_t createKey(
        HKEY parent, const QByteArray& path, std::uint32_t access, HKEY& result, bool* created) override
    {
        if (createResult != 0)
            return createResult;
        return opened(inner_.createKey(parent, path, access, result, created), result, path);
    }
    std::int32_t queryValue(
        HKEY key, const QByteArray& name, std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) override
    {
        if (data != nullptr && beforeDataRead)
            std::exchange(beforeDataRead, nullptr)();
        return inner_.queryValue(key, name, type, data, size);
    }
    std::int32_t setValue(
        HKEY key, const QByteArray& name, std::uint32_t type, const std::uint8_t* data, std::uint32_t size) override
    {
        writes.push_back({ paths_[key], name, type, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)) });
        return inner_.setValue(key, name, type, data, size);
    }
    std::int32_t closeKey(HKEY key) override
    {
        const std::int32_t code = inner_.closeKey(key);
        openHandles -= code == 0;
        paths_.erase(key);
        return closeResult != 0 ? closeResult : code;
    }
    std::int32_t deleteKey(HKEY parent, const QByteArray& path) override { return inner_.deleteKey(parent, path); }
    std::int32_t deleteValue(HKEY key, const QByteArray& name) override { return inner_.deleteValue(key, name); }
    std::int32_t enumKeys(HKEY key, QByteArrayList& names) override { return inner_.enumKeys(key, names); }
    std::int32_t enumValues(HKEY key, std::vector<RegValue>& values) override { return inner_.enumValues(key, values); }
    QString problem() const override { return inner_.problem(); }

private:
    // `key` by reference: it is read after the call that fills it.
    std::int32_t opened(std::int32_t code, const HKEY& key, const QByteArray& path)
    {
        if (code == 0) {
            ++openHandles;
            paths_[key] = path;
        }
        return code;
    }

    Registry& inner_;
    std::map<HKEY, QByteArray> paths_;
};

} // namespace vorn::test
