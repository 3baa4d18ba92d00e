// The rules of the automatic unit pass in the window: kept in the program's
// settings, changed in the "Unit settings" dialog.
#pragma once

#include "unit_options.h"

#include <QDialog>

class QCheckBox;
class QDoubleSpinBox;

// The rules as last saved; a value the settings hold that is out of range
// or not a number is left at its default, with a line on standard error.
unit_options loadUnitOptions();
void saveUnitOptions(const unit_options &options);

class UnitSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    UnitSettingsDialog(const unit_options &options, QWidget *parent);
    // The rules as the dialog shows them.
    unit_options options() const;
    void showOptions(const unit_options &options);

private:
    QDoubleSpinBox *m_ratio;
    QCheckBox *m_caps;
    QDoubleSpinBox *m_cover;
    QCheckBox *m_stack;
    QDoubleSpinBox *m_stack_cover;
    QCheckBox *m_best;
};
