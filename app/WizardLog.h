#pragma once

#include <QLoggingCategory>

// What the wizard does while dialing and connected, for people following a
// run: debug messages, off unless QT_LOGGING_RULES turns on "vorn.wizard.debug".
Q_DECLARE_LOGGING_CATEGORY(lcWizard)

// The first words of those messages. The end-to-end tests, the demo and
// scripts/screenshots.sh read the log by them, so they are named here once
// for every side.
namespace vorn::wizardlog
{
inline constexpr char Page[] = "page"; // the page index
inline constexpr char Attempt[] = "attempt"; // the entry being dialed
inline constexpr char Status[] = "status"; // the status line's text
inline constexpr char Skipped[] = "skipped"; // the entry skipped
inline constexpr char DialingEnded[] = "dialing ended";
inline constexpr char Connected[] = "connected"; // the entry connected
inline constexpr char ToolTip[] = "tooltip"; // the tray icon's tip once connected
inline constexpr char Tick[] = "tick"; // connected seconds and the tip
inline constexpr char ConnectionBroken[] = "connection broken";
inline constexpr char Redial[] = "redial"; // the broken entry, dialed again
inline constexpr char RunEnded[] = "run ended"; // why a rule ended dialing
} // namespace vorn::wizardlog
