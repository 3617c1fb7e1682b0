#pragma once

#include "WizardDriver.h"
#include "platform/ToneFile.h"

#include <sndfile.h>

namespace vorn::test
{

// Writes half a second of tone into the driver's folder and stores it as the
// tune (the tune page then turns "PlayTune" on), with `moreRegText` beside it.
inline bool chooseTune(WizardDriver& wizard, const QByteArray& moreRegText = {})
{
    const QString tune = wizard.folder() + QStringLiteral("/tune.wav");
    if (!writeTone(tune, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.5))
        return false;
    wizard.importRegistry(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\VORN-WIZ]\n\"Tune\"=\"" + tune.toUtf8() + "\"\n\n" + moreRegText);
    return true;
}

} // namespace vorn::test
