#pragma once

// The wizard fixture that dials a fake service whose lines answer on a script.
#include "WizardFixture.h"
#include "support/FakeRemoteAccess.h"

#include <QElapsedTimer>
#include <QTimer>

namespace vorn::test
{

using Outcome = FakeRemoteAccess::Outcome;

class DialingTest : public WizardTest
{
protected:
    std::shared_ptr<FakeRemoteAccess>& lines = ras;
    QStringList tuneWatchers;
    QStringList windowHiders;

    TfrmSelect& startDialer(const QByteArrayList& entries, const QStringList& selected)
    {
        lines->entryNames = entries;
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
    void connectOn(const QString& entry) { lines->outcomes[entry] = Outcome::Connect; }
};

} // namespace vorn::test
