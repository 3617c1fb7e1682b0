#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace vorn::paths
{

namespace
{

QString fromEnv(const char* name)
{
    return qEnvironmentVariable(name);
}

QString xdgBase(const char* variable, const QString& fallbackBelowHome)
{
    const QString value = fromEnv(variable);
    // The base directory spec says relative values are to be ignored.
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return value;
    return QDir::homePath() + QLatin1Char('/') + fallbackBelowHome;
}

} // namespace

QString programDir()
{
    if (QCoreApplication::instance() != nullptr)
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(QLatin1Char('/'), 0, -2);
}

QString siblingProgram(const QString& name)
{
    return programDir() + QLatin1Char('/') + name;
}

QString registryFile()
{
    const QString explicitPath = fromEnv("VORN_REGISTRY");
    if (!explicitPath.isEmpty())
        return explicitPath;
    return xdgBase("XDG_DATA_HOME", QStringLiteral(".local/share")) + QStringLiteral("/vorn95/registry.db");
}

QString historyFile()
{
    const QString explicitPath = fromEnv("VORN_HISTORY");
    if (!explicitPath.isEmpty())
        return explicitPath;
    return QFileInfo(registryFile()).absolutePath() + QStringLiteral("/history.db");
}

QString configDir()
{
    return xdgBase("XDG_CONFIG_HOME", QStringLiteral(".config")) + QStringLiteral("/vorn95");
}

QString runtimeDir()
{
    QString base = fromEnv("XDG_RUNTIME_DIR");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::tempPath() + QStringLiteral("/vorn95-") + QString::number(getuid());
    return base + QStringLiteral("/vorn95");
}

QString dataDir()
{
    const QString explicitPath = fromEnv("VORN_DATA_DIR");
    if (!explicitPath.isEmpty())
        return explicitPath;
    const QString installed = QDir::cleanPath(programDir() + QStringLiteral("/../share/vorn95"));
    if (QFileInfo::exists(installed))
        return installed;
    return QStringLiteral(VORN_SOURCE_RESOURCES);
}

} // namespace vorn::paths
