#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The phonebook of the simulated dial-up service: an INI file of
// "[Entry name]" sections with PhoneNumber=, Device= and DeviceType=, plus
// keys that script each entry's dials: Outcomes= (comma-separated, the last
// one repeats), StepDelay= (milliseconds between progress steps) and
// DropAfter= (seconds after which a connection breaks; 0 never) and Rate=
// (bytes per second a connection carries each way; 0 none).
namespace vorn::sim
{

enum class Outcome { Connect, Busy, NoAnswer, NoDialTone, NoCarrier, BadPassword };

struct PhonebookEntry {
    QString name;
    QString phoneNumber;
    QString device = QStringLiteral("Standard Modem");
    QString deviceType = QStringLiteral("modem");
    QList<Outcome> outcomes { Outcome::Connect };
    int stepDelayMs = 300;
    int dropAfterSeconds = 0;
    int bytesPerSecond = 0;

    // Outcome of this entry's dial number `attempt` (counting from 0).
    Outcome outcome(int attempt) const;
};

struct Phonebook {
    QList<PhonebookEntry> entries; // in file order
    QStringList warnings; // what was skipped or ignored, and why

    // Exact name first, else the first that differs only in letter case.
    const PhonebookEntry* find(const QString& name) const;
};

Phonebook parsePhonebook(const QByteArray& text);

} // namespace vorn::sim
