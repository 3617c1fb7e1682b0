// The NetworkManager backend is a module that the programs load only when it
// is chosen: the programs and the core library map no libnm of their own.
#include "platform/Modules.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vorn;

namespace
{

bool libnmMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/libnm.so");
}

QString errorText(RemoteAccess& service, std::uint32_t code)
{
    char text[ras::MaxError + 1] = {};
    EXPECT_EQ(service.errorString(code, text, sizeof text), ras::Success);
    return QString::fromUtf8(text);
}

} // namespace

// Found from the build tree as from an installation: lib/vorn95/ beside bin/.
TEST(NetworkManagerModule, LoadsLibnmOnlyWhenLoaded)
{
    ASSERT_FALSE(libnmMapped());
    const QString file = modules::file(QStringLiteral("vorn-nm.so"));
    ASSERT_TRUE(QFile::exists(file)) << qPrintable(file);
    const auto service = modules::loadRemoteAccess(file);
    EXPECT_TRUE(libnmMapped());
    EXPECT_FALSE(errorText(*service, ras::ServiceUnavailable).contains(QLatin1String("vorn-nm.so")));
}

// A module that cannot be loaded leaves a service that fails every call as an
// unreachable one, and says which file and why.
TEST(NetworkManagerModule, OneThatCannotLoadIsNamedWithTheReason)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("vorn-nm.so"));
    const auto service = modules::loadRemoteAccess(missing);
    std::uint32_t bytes = 0;
    std::uint32_t count = 1;
    EXPECT_EQ(service->enumEntries(nullptr, nullptr, &bytes, &count), ras::ServiceUnavailable);
    EXPECT_EQ(count, 0U);
    RasHandle handle = 0;
    RASDIALPARAMS params {};
    params.dwSize = sizeof params;
    EXPECT_EQ(service->dial(nullptr, params, nullptr, &handle), ras::ServiceUnavailable);
    const QString error = errorText(*service, ras::ServiceUnavailable);
    EXPECT_TRUE(error.contains(missing) && error.contains(QLatin1String("No such file"))) << qPrintable(error);
}
