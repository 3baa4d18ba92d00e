// The real dialogs of the file commands.
#include "file_chooser.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

static QString ask(QWidget *parent, QFileDialog::AcceptMode mode, const QString &caption,
                   const QString &start, const QString &filter, const QString &objectName)
{
    QFileDialog dialog(parent, caption, start, filter);
    dialog.setObjectName(objectName);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    // The overwrite question is the command's own.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    // A name that does not exist is the command's to report.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!start.isEmpty())
        dialog.selectFile(start);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

QString DialogFileChooser::openFileName(QWidget *parent, const QString &caption,
                                        const QString &start, const QString &filter,
                                        const QString &objectName)
{
    return ask(parent, QFileDialog::AcceptOpen, caption, start, filter, objectName);
}

QString DialogFileChooser::saveFileName(QWidget *parent, const QString &caption,
                                        const QString &start, const QString &filter,
                                        const QString &objectName)
{
    return ask(parent, QFileDialog::AcceptSave, caption, start, filter, objectName);
}

bool DialogFileChooser::confirm(QWidget *parent, const QString &caption, const QString &text,
                                const QString &yes, const QString &no)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, parent);
    QPushButton *yes_button = box.addButton(yes, QMessageBox::YesRole);
    QPushButton *no_button = box.addButton(no, QMessageBox::NoRole);
    box.setDefaultButton(yes_button);
    box.setEscapeButton(no_button);
    box.exec();
    return box.clickedButton() == yes_button;
}

FileChooser::unsaved_answer DialogFileChooser::askUnsaved(QWidget *parent, const QString &caption,
                                                          const QString &text)
{
    QMessageBox box(QMessageBox::Warning, caption, text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setObjectName("unsaved work question");
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return unsaved_answer::save;
    case QMessageBox::Discard:
        return unsaved_answer::discard;
    default:
        return unsaved_answer::cancel;
    }
}
