// The dialogs of the file commands, behind a seam that tests can answer.
#pragma once

#include <QString>

class QWidget;

class FileChooser {
public:
    virtual ~FileChooser() = default;
    // An empty string when the user cancels.
    virtual QString openFileName(QWidget *parent, const QString &caption, const QString &start,
                                 const QString &filter, const QString &objectName) = 0;
    virtual QString saveFileName(QWidget *parent, const QString &caption, const QString &start,
                                 const QString &filter, const QString &objectName) = 0;
    // True when the user answers "&Yes".
    virtual bool confirm(QWidget *parent, const QString &caption, const QString &text,
                         const QString &yes, const QString &no) = 0;
    // Unsaved work would be lost: save it first, discard it, or cancel.
    enum class unsaved_answer { save, discard, cancel };
    virtual unsaved_answer askUnsaved(QWidget *parent, const QString &caption,
                                      const QString &text) = 0;
};

// The real dialogs: Qt's own file dialog and a question box.
class DialogFileChooser : public FileChooser {
public:
    QString openFileName(QWidget *parent, const QString &caption, const QString &start,
                         const QString &filter, const QString &objectName) override;
    QString saveFileName(QWidget *parent, const QString &caption, const QString &start,
                         const QString &filter, const QString &objectName) override;
    bool confirm(QWidget *parent, const QString &caption, const QString &text, const QString &yes,
                 const QString &no) override;
    unsaved_answer askUnsaved(QWidget *parent, const QString &caption,
                              const QString &text) override;
};
