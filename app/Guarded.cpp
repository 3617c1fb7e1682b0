#include "app/Guarded.h"

#include "app/UserPrompts.h"

#include <QString>

void showEscapedError(const char* message)
{
    // Showing the message must not throw out of the handler boundary either.
    try {
        UserPrompts::instance().messageBox(nullptr, QString::fromUtf8(message),
            QString::fromLatin1(UserPrompts::ApplicationTitle), UserPrompts::MB_OK);
    } catch (...) {
    }
}
