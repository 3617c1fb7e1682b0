#pragma once

#include "settings/RegFiles.h"

#include <QDateTime>
#include <QString>

#include <stdexcept>

// A text that is not an integer by the toolkit's rules.
class EConvertError : public std::runtime_error
{
public:
    explicit EConvertError(const QString& message)
        : std::runtime_error(message.toStdString())
    {
    }
};

// The toolkit's text-to-integer rules: leading blanks, an optional sign, then
// decimal digits or "$" and hexadecimal digits (up to 32 bits), nothing else.
bool TryStrToInt(const QString& Text, qint32& Value);
// As above; raises EConvertError "'%s' is not a valid integer value".
qint32 StrToInt(const QString& Text);

// Seconds as hh:mm:ss; hours take as many digits as they need.
QString SecondsToDuration(qint32 Seconds);
// hh:mm:ss back to seconds; parts are unlimited and the sum wraps in 32 bits.
qint32 DurationToSeconds(const QString& Text);

// Registry layout of the settings and per-entry statistics, and the rules by
// which they change. The handlers of the wizard call these.
namespace stats
{

// Under HKEY_LOCAL_MACHINE; an entry's key is this followed directly by its name.
inline constexpr char ProgramKey[] = "SOFTWARE\\Quorix\\VORN-WIZ\\";

inline constexpr char PDTCaption[] = "PDTCaption";
inline constexpr char PlayTune[] = "PlayTune";
inline constexpr char Tune[] = "Tune";
inline constexpr char ShowWelcome[] = "ShowWelcome";
// 1 = desktop notifications on connect and on a broken line. Not written at
// start-up: a missing value reads as its default.
inline constexpr char Notify[] = "Notify";

inline constexpr char Accesses[] = "Accesses";
inline constexpr char LastAccess[] = "LastAccess";
inline constexpr char LastTime[] = "LastTime";
inline constexpr char TotalTime[] = "TotalTime";

inline constexpr qint32 DefaultPlayTune = 0;
inline constexpr char DefaultTune[] = "";
inline constexpr qint32 DefaultShowWelcome = 1;
inline constexpr qint32 DefaultNotify = 1;
// "LastAccess" before the first connection: a placeholder, not a date.
inline constexpr char NeverAccessed[] = "00/00/00";

// The entry's key; a name too long for a key name is shortened (see .cpp).
QString EntryKey(const QString& entryName);

// A time of day in the local long time format, without the time zone.
QString LongTimeText(const QTime& time);

// Local short date + " - " + local long time, as "LastAccess" holds it.
QString LastAccessText(const QDateTime& when);

// Start-up: writes each global setting that does not exist with its default.
void WriteGlobalDefaults(TRegFile& reg, const QString& pdtCaption);

// Start-up: an entry without "LastAccess" gets all four statistics' defaults.
void WriteEntryDefaults(TRegFile& reg, const QString& entryName);

// A connection was made: stamps "LastAccess", counts "Accesses" up and
// restarts the connection's clock.
void RecordConnection(
    TRegFile& reg, const QString& entryName, const QDateTime& now, QDateTime& connectStart, qint32& connectedSeconds);

// One timer tick while connected, in the key RecordConnection set: counts
// the second into "LastTime" and "TotalTime". A "TotalTime" text that is no
// duration raises EConvertError (naming the value and its text) after
// "LastTime" was written.
void RecordTick(TRegFile& reg, qint32& connectedSeconds);

// Puts an entry's four statistics back to their defaults.
void ClearStatistics(TRegFile& reg, const QString& entryName);

} // namespace stats
