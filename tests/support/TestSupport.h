#pragma once

#include "platform/RemoteAccess.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <vector>

namespace vorn::test {

// Path of a program built beside the tests (bin folder of the build).
QString binPath(const QString& program);

// Path below the source tree, for fixtures in tests/ or resources/.
QString sourcePath(const QString& relative);

// Processes Qt events until pred() holds or the timeout passes; returns pred().
bool waitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout);

// Runs a program to its end and returns its standard output; fails the test
// (via the returned ok flag) when it cannot start or exits non-zero.
struct RunResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    bool started = false;
};
RunResult runProgram(const QString& program, const QStringList& args, int timeoutMs = 30000);

// The private desktop of scripts/test-session.sh.
bool inTestSession();

// Whether a shown window of the display has exactly this title.
bool windowShown(const QString& title);

// The connections `access` lists (up to eight), expecting the listing to succeed.
std::vector<RASCONN> connectionsOf(RemoteAccess& access);

// Reads the null sink's recording from byte offset `from`: returns the number
// of 8 kHz samples whose magnitude exceeds `threshold`, and the index of the
// first one (or -1).
struct SoundScan {
    qint64 loudSamples = 0;
    qint64 firstLoud = -1;
};
constexpr int RecordingRate = 8000;
qint64 recordingSize();
SoundScan scanRecording(qint64 from, int threshold = 300);

} // namespace vorn::test
