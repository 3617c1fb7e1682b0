#include "platform/Modules.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFile>

#include <dlfcn.h>

#include <bit>

namespace vorn::modules
{

namespace
{

// Stands in for a backend whose module could not be loaded: every call
// fails as with a service that cannot be reached, and says why.
class UnreachableRemoteAccess final : public RemoteAccess
{
public:
    explicit UnreachableRemoteAccess(QString reason)
        : reason_(std::move(reason))
    {
    }

    std::uint32_t enumEntries(const char*, RASENTRYNAME*, std::uint32_t*, std::uint32_t* count) override
    {
        return unreachable(count);
    }
    std::uint32_t enumConnections(RASCONN*, std::uint32_t*, std::uint32_t* count) override
    {
        return unreachable(count);
    }
    std::uint32_t dial(const char*, const RASDIALPARAMS&, QObject*, RasHandle*) override
    {
        return ras::ServiceUnavailable;
    }
    // No line was ever made here.
    std::uint32_t hangUp(RasHandle) override { return ras::InvalidHandle; }
    std::uint32_t connectStatus(RasHandle, RASCONNSTATUS*) override { return ras::InvalidHandle; }

    std::uint32_t errorString(std::uint32_t code, char* buffer, std::uint32_t size) override
    {
        QString text = rasErrorText(code);
        if (buffer == nullptr || text.isEmpty())
            return ras::InvalidParameter;
        if (code == ras::ServiceUnavailable)
            text = text.chopped(1) + QStringLiteral(": ") + reason_ + QLatin1Char('.');
        copyToField(buffer, size, text.toUtf8());
        return ras::Success;
    }
    QString dialerCaptionTemplate() override { return QString(); }
    QString connectedWindowTitle() override { return QString(); }

private:
    static std::uint32_t unreachable(std::uint32_t* count)
    {
        if (count != nullptr)
            *count = 0;
        return ras::ServiceUnavailable;
    }

    const QString reason_;
};

// Stands in for a sound whose module could not be loaded.
class SilentSound final : public Sound
{
public:
    bool play(const QString& /*file*/, std::stop_token /*stop*/) override { return false; }
};

} // namespace

QString file(const QString& name)
{
    return QDir::cleanPath(paths::programDir() + QStringLiteral("/../lib/vorn95/") + name);
}

void* entryPoint(const QString& file, const char* entry, QString& reason)
{
    // Every symbol is resolved now, so that a broken module fails here with
    // the loader's reason rather than in the middle of a call.
    void* module = dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_LOCAL);
    void* address = module != nullptr ? dlsym(module, entry) : nullptr;
    if (address == nullptr) {
        reason = QStringLiteral("cannot load %1").arg(QString::fromLocal8Bit(dlerror()));
        qWarning("%s", qPrintable(reason));
    }
    return address;
}

std::shared_ptr<RemoteAccess> loadRemoteAccess(const QString& file)
{
    QString reason;
    if (void* entry = entryPoint(file, RemoteAccessEntry, reason))
        return std::shared_ptr<RemoteAccess>(std::bit_cast<RemoteAccessFactory>(entry)(dialEventMessage()));
    return std::make_shared<UnreachableRemoteAccess>(reason);
}

std::unique_ptr<Sound> loadSound(const QString& file)
{
    QString reason;
    if (void* entry = entryPoint(file, SoundEntry, reason))
        return std::unique_ptr<Sound>(std::bit_cast<SoundFactory>(entry)());
    return std::make_unique<SilentSound>();
}

} // namespace vorn::modules
