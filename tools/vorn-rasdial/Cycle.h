#pragma once

#include <QStringList>

#include <optional>

namespace vorn
{
class RemoteAccess;
}

#include "rascomp/DialCycle.h"

#include <QList>
#include <QPair>

// vorn-rasdial --cycle: dials the entries in turn by the wizard's rules until
// one connects.
struct CycleOptions {
    QStringList entries;
    QString phonebook;
    // Given on the command line, over the hive's.
    std::optional<int> rounds;
    std::optional<int> pauseLimit;
    QList<QPair<cycle::FailureKind, cycle::Action>> policy;
};

// The arguments besides --cycle; nothing on a usage error.
std::optional<CycleOptions> parseCycle(const QStringList& args);
// The exit code: 0 connected, 1 service error, 3 ended by a rule or every
// entry left out, 4 out of rounds, 130 interrupted.
int cycleEntries(vorn::RemoteAccess& service, const CycleOptions& options);
