#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

QStringList runtimeFolders()
{
    const QString base = fromEnv("XDG_RUNTIME_DIR");
    if (!base.isEmpty() && QDir::isAbsolutePath(base))
        return { base + QStringLiteral("/vorn95") };
    // The temporary folder is shared: another user may have made either folder first.
    const QString own = QDir::tempPath() + QStringLiteral("/vorn95-") + QString::number(getuid());
    return { own, own + QStringLiteral("/vorn95") };
}

QString runtimeDir()
{
    return runtimeFolders().constLast();
}

QString folderProblem(const QString& folder, bool mustBePrivate)
{
    struct stat info {
    };
    if (lstat(QFile::encodeName(folder).constData(), &info) != 0)
        return QStringLiteral("%1 cannot be used: %2").arg(folder, qt_error_string(errno));
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("%1 is a symbolic link, not a private folder of this user").arg(folder);
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("%1 is not a folder").arg(folder);
    if (info.st_uid != getuid())
        return QStringLiteral("%1 is not a private folder of this user (it belongs to user %2)")
            .arg(folder)
            .arg(info.st_uid);
    if (mustBePrivate && (info.st_mode & 077) != 0)
        return QStringLiteral("%1 is not a private folder of this user (mode %2, not 0700)")
            .arg(folder)
            .arg(info.st_mode & 0777, 4, 8, QLatin1Char('0'));
    return QString();
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
