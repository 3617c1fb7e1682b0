#pragma once

#include <QString>
#include <QStringList>

// Where the program keeps its files. Environment variables override the
// defaults so that tests and several installations can run side by side.
namespace vorn::paths
{

// Folder holding the running program; the other programs are looked for here.
QString programDir();

// Full path of a sibling program, for example "vorn-dialupd".
QString siblingProgram(const QString& name);

// The registry hive: $VORN_REGISTRY, else $XDG_DATA_HOME/vorn95/registry.db.
QString registryFile();

// The connection history: $VORN_HISTORY, else history.db beside the hive.
QString historyFile();

// Per-user configuration folder: $XDG_CONFIG_HOME/vorn95.
QString configDir();

// Per-user runtime folder for sockets: $XDG_RUNTIME_DIR/vorn95 (private,
// 0700); without $XDG_RUNTIME_DIR, vorn95-UID/vorn95 in the temporary folder.
QString runtimeDir();

// The folders of runtimeDir() that this program makes and that must be
// private: one, or two below the temporary folder, outermost first.
QStringList runtimeFolders();

// Why `folder` cannot be trusted with this user's sockets: it must exist, be
// a folder and no symbolic link, belong to this user and, when
// `mustBePrivate`, be closed to everyone else. Empty when it can be.
QString folderProblem(const QString& folder, bool mustBePrivate);

// Read-only data shipped with the program (sample phonebook, sounds):
// $VORN_DATA_DIR, else share/vorn95 beside the program's bin folder, else
// the source tree's resources folder for a build that is not installed.
QString dataDir();

} // namespace vorn::paths
