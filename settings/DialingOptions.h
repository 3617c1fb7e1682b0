#pragma once

#include "rascomp/DialCycle.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class TRegFile;

// Where the dialing rules and the per-entry failure counts live: values
// under the program key, and one count per error code in the entry's
// "Failures" subkey.
namespace dialing
{

inline constexpr char OnLineFailure[] = "OnLineFailure";
inline constexpr char OnDeviceFailure[] = "OnDeviceFailure";
inline constexpr char OnAccountFailure[] = "OnAccountFailure";
inline constexpr char OnOtherFailure[] = "OnOtherFailure";
inline constexpr char RoundPauseLimit[] = "RoundPauseLimit";
inline constexpr char RoundLimit[] = "RoundLimit";
inline constexpr char RedialOnBreak[] = "RedialOnBreak";
inline constexpr char FailuresKey[] = "Failures";

// The value that holds the action for `kind`.
const char* actionValue(cycle::FailureKind kind);

// Absent values mean their defaults; a value that cannot be read counts as
// its default and is named in `problems`.
cycle::Rules ReadRules(TRegFile& reg, QStringList* problems);
void WriteRules(TRegFile& reg, const cycle::Rules& rules);

// An attempt on `entryName` failed with `code`.
void CountFailure(TRegFile& reg, const QString& entryName, int code);
// (code, count) in ascending order of code; values that are not counts are left out.
QList<QPair<int, qint32>> ReadFailures(TRegFile& reg, const QString& entryName);
void ClearFailures(TRegFile& reg, const QString& entryName);

} // namespace dialing
