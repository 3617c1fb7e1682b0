#pragma once

#include <QString>

class QWidget;

// Message boxes, the open-file dialog and the beep: everything that waits for
// the user or makes a noise goes through here, so widget tests can answer the
// questions and record what was shown.
class UserPrompts
{
public:
    // Flags and answers keep the values of the original message box API.
    enum Flags : unsigned {
        MB_OK = 0x0,
        MB_YESNO = 0x4,
        MB_ICONERROR = 0x10,
        MB_ICONINFORMATION = 0x40,
        MB_DEFBUTTON2 = 0x100,
    };
    enum Answer : int { IDOK = 1, IDYES = 6, IDNO = 7 };

    struct OpenFileRequest {
        QString title;
        QString filter; // "Description (*.ext)"
        QString defaultSuffix; // without the dot
        QString initialPath;
        bool forSaving = false; // a file to write, which may not exist yet
    };

    // The title of message boxes that have none of their own.
    static constexpr const char* ApplicationTitle = "VORN95 Wizard";

    virtual ~UserPrompts() = default;

    // A modal message box; owner may be null. Returns the button chosen.
    virtual int messageBox(QWidget* owner, const QString& text, const QString& title, unsigned flags) = 0;
    // An open-file dialog for an existing file, or a save dialog when the
    // request is for saving; empty when cancelled.
    virtual QString openFile(QWidget* owner, const OpenFileRequest& request) = 0;
    virtual void beep() = 0;

    // The prompts used by the program: real dialogs unless a test installed others.
    static UserPrompts& instance();
    static void install(UserPrompts* prompts);
};
