#include "app/UserPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace
{

class WidgetPrompts final : public UserPrompts
{
public:
    int messageBox(QWidget* owner, const QString& text, const QString& title, unsigned flags) override
    {
        QMessageBox box(owner);
        box.setWindowTitle(title.isEmpty() ? QString::fromLatin1(ApplicationTitle) : title);
        // The original platform's line break may come as LF CR.
        box.setText(QString(text).replace(QStringLiteral("\n\r"), QStringLiteral("\n")));
        if ((flags & MB_ICONERROR) != 0)
            box.setIcon(QMessageBox::Critical);
        else if ((flags & MB_ICONINFORMATION) != 0)
            box.setIcon(QMessageBox::Information);
        if ((flags & MB_YESNO) != 0) {
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton((flags & MB_DEFBUTTON2) != 0 ? QMessageBox::No : QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::No);
            return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
        }
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return IDOK;
    }

    QString openFile(QWidget* owner, const OpenFileRequest& request) override
    {
        QFileDialog dialog(owner, request.title, request.initialPath, request.filter);
        dialog.setFileMode(request.forSaving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setAcceptMode(request.forSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setDefaultSuffix(request.defaultSuffix);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().constFirst();
    }

    void beep() override { QApplication::beep(); }
};

UserPrompts* installed = nullptr;

} // namespace

UserPrompts& UserPrompts::instance()
{
    static WidgetPrompts widgets;
    return installed != nullptr ? *installed : widgets;
}

void UserPrompts::install(UserPrompts* prompts)
{
    installed = prompts;
}
