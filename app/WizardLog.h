#pragma once

#include <QLoggingCategory>

// What the wizard does while dialing and connected, for people following a
// run: debug messages, off unless QT_LOGGING_RULES turns on "vorn.wizard.debug".
Q_DECLARE_LOGGING_CATEGORY(lcWizard)
