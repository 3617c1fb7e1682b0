#pragma once

// A service whose lines answer on a script, and the wizard fixture that dials it.
#include "WizardFixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QTimer>

#include <algorithm>

namespace vorn::test
{

// Lines that, a short while after the dial, connect, report busy or go on
// ringing for ever; what was dialed and hung up is recorded with its time.
class ScriptedService final : public RemoteAccess
{
public:
    enum class Outcome { Ring, Busy, Refuse, Connect };
    struct Call {
        QString entry;
        qint64 dialedAt;
        qint64 hungUpAt = -1;
    };

    QByteArrayList entries;
    QHash<QString, Outcome> outcomes; // Ring when not listed
    QString captionTemplate = QStringLiteral("Connected to %s");
    std::vector<Call> calls;
    std::vector<RASCONN> otherConnections; // of other programs
    QElapsedTimer clock;

    ScriptedService() { clock.start(); }

    int hangUps() const
    {
        return int(std::count_if(calls.begin(), calls.end(), [](const Call& c) { return c.hungUpAt >= 0; }));
    }
    QStringList dialed() const
    {
        QStringList names;
        for (const auto& call : calls)
            names.append(call.entry);
        return names;
    }
    // The line breaks without a word, as a dropped modem line does.
    void dropLine() { lines.clear(); }
    // The line breaks and its status says why, until it is hung up.
    void breakLine()
    {
        for (auto& line : lines)
            line = { line.call, ras::Disconnected, ras::RemoteDisconnection };
    }

    std::uint32_t enumEntries(const char*, RASENTRYNAME* buffer, std::uint32_t* bytes, std::uint32_t* count) override
    {
        *count = std::uint32_t(entries.size());
        if (*bytes < entries.size() * sizeof(RASENTRYNAME)) {
            *bytes = std::uint32_t(entries.size() * sizeof(RASENTRYNAME));
            return ras::BufferTooSmall;
        }
        for (qsizetype i = 0; i < entries.size(); ++i)
            copyToField(buffer[i].szEntryName, entries.at(i));
        return ras::Success;
    }
    std::uint32_t enumConnections(RASCONN* records, std::uint32_t* bytes, std::uint32_t* count) override
    {
        std::vector<RASCONN> all = otherConnections;
        for (auto line = lines.cbegin(); line != lines.cend(); ++line) {
            if (line->state == ras::Connected) {
                RASCONN record {};
                record.hrasconn = line.key();
                copyToField(record.szEntryName, calls.at(line->call).entry.toUtf8());
                all.push_back(record);
            }
        }
        *count = std::uint32_t(all.size());
        for (std::size_t i = 0; i < all.size() && (i + 1) * sizeof(RASCONN) <= *bytes; ++i)
            records[i] = all[i];
        return ras::Success;
    }
    std::uint32_t dial(const char*, const RASDIALPARAMS& params, QObject* receiver, RasHandle* handle) override
    {
        *handle = ++lastHandle;
        const QString entry = QString::fromUtf8(params.szEntryName);
        lines.insert(*handle, { calls.size(), ras::OpenPort, 0 });
        calls.push_back({ entry, clock.elapsed() });
        QTimer::singleShot(AnswerDelay, receiver, [this, receiver, h = *handle, entry] { answer(receiver, h, entry); });
        return ras::Success;
    }
    std::uint32_t hangUp(RasHandle handle) override
    {
        if (auto line = lines.find(handle); line != lines.end()) {
            calls.at(line->call).hungUpAt = clock.elapsed();
            lines.erase(line);
        }
        return ras::Success;
    }
    std::uint32_t connectStatus(RasHandle handle, RASCONNSTATUS* status) override
    {
        const auto line = lines.constFind(handle);
        if (line == lines.cend())
            return ras::InvalidHandle;
        status->rasconnstate = line->state;
        status->dwError = line->error;
        return ras::Success;
    }
    std::uint32_t errorString(std::uint32_t code, char* buffer, std::uint32_t size) override
    {
        const QString text = rasErrorText(code);
        if (text.isEmpty())
            return ras::InvalidParameter;
        copyToField(buffer, size, text.toUtf8());
        return ras::Success;
    }
    QString dialerCaptionTemplate() override { return captionTemplate; }
    QString connectedWindowTitle() override { return QStringLiteral("Dial-up Finished"); }

    static constexpr int AnswerDelay = 50;

private:
    struct Line {
        std::size_t call;
        std::uint32_t state;
        std::uint32_t error;
    };

    void answer(QObject* receiver, RasHandle handle, const QString& entry)
    {
        auto line = lines.find(handle);
        if (line == lines.end())
            return;
        switch (outcomes.value(entry, Outcome::Ring)) {
        case Outcome::Ring:
            return;
        case Outcome::Busy:
            line->error = ras::LineBusy;
            break;
        case Outcome::Refuse:
            line->error = ras::AuthenticationFailure;
            break;
        case Outcome::Connect:
            line->state = ras::Connected;
            break;
        }
        QCoreApplication::postEvent(receiver, new RasDialEvent(dialEventMessage(), line->state, line->error));
    }

    QHash<RasHandle, Line> lines;
    RasHandle lastHandle = 0;
};

class DialingTest : public WizardTest
{
protected:
    std::shared_ptr<ScriptedService> lines = std::make_shared<ScriptedService>();
    QStringList tuneWatchers;
    QStringList windowHiders;

    TfrmSelect& startDialer(const QByteArrayList& entries, const QStringList& selected)
    {
        lines->entries = entries;
        service = lines;
        TfrmSelect& w = start();
        w.startTuneWatcher
            = [this](const QString& caption, const QString& tune) { tuneWatchers << caption + "|" + tune; };
        w.startWindowHider = [this](const QString& title) { windowHiders << title; };
        for (const auto& name : selected)
            w.SelectedEntries.add(name);
        w.show();
        return w;
    }
    // Runs the dialing page, doing `action` `afterMs` into it; returns how
    // long the loop ran.
    qint64 dial(int afterMs, const std::function<void()>& action)
    {
        QTimer::singleShot(afterMs, window.get(), action);
        return dial();
    }
    qint64 dial()
    {
        QElapsedTimer running;
        running.start();
        window->Notebook1->setCurrentIndex(TfrmSelect::pgDialingIndex);
        return running.elapsed();
    }
    qint64 dialedAt(std::size_t call) const { return lines->calls.at(call).dialedAt; }
    void connectOn(const QString& entry) { lines->outcomes[entry] = ScriptedService::Outcome::Connect; }
};

} // namespace vorn::test
