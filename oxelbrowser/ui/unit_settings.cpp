// The unit pass's settings and their dialog.
#include "unit_settings.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include <iostream>

namespace
{

// The program's settings; the names main gives the application, if any.
QSettings settings()
{
    const QString org = QCoreApplication::organizationName();
    const QString app = QCoreApplication::applicationName();
    return QSettings(org.isEmpty() ? QStringLiteral("oxelbrowser") : org,
                     app.isEmpty() ? QStringLiteral("oxelbrowser") : app);
}

const char ratio_key[] = "units/linkRatio";
const char caps_key[] = "units/attachCaps";
const char cover_key[] = "units/capCover";
const char stack_key[] = "units/stackCaps";
const char stack_cover_key[] = "units/stackCover";
const char best_key[] = "units/bestParent";

// The number under key when it is one and lies in [low, high) (or up to and
// including high when closed); otherwise fallback.
double stored_number(QSettings &s, const char *key, double low, double high, bool closed,
                     double fallback)
{
    if (!s.contains(key))
        return fallback;
    bool ok = false;
    const double v = s.value(key).toString().toDouble(&ok);
    if (ok && v >= low && (closed ? v <= high : v < high))
        return v;
    std::cerr << "Unit settings: " << key << " = " << s.value(key).toString().toStdString()
              << " is not a value it can take; using " << fallback << std::endl;
    return fallback;
}

bool stored_flag(QSettings &s, const char *key, bool fallback)
{
    if (!s.contains(key))
        return fallback;
    const QString v = s.value(key).toString();
    if (v == QLatin1String("true") || v == QLatin1String("false"))
        return v == QLatin1String("true");
    std::cerr << "Unit settings: " << key << " = " << v.toStdString()
              << " is neither true nor false; using " << (fallback ? "true" : "false") << std::endl;
    return fallback;
}

} // namespace

unit_options loadUnitOptions()
{
    QSettings s = settings();
    const unit_options plain;
    unit_options o;
    o.link_ratio = stored_number(s, ratio_key, 0.0, 1.0, true, plain.link_ratio);
    o.attach_caps = stored_flag(s, caps_key, plain.attach_caps);
    o.cap_cover = stored_number(s, cover_key, 0.0, 1.0, false, plain.cap_cover);
    o.stack_caps = stored_flag(s, stack_key, plain.stack_caps);
    o.stack_cover = stored_number(s, stack_cover_key, 0.0, 1.0, false, plain.stack_cover);
    o.best_parent = stored_flag(s, best_key, plain.best_parent);
    return o;
}

void saveUnitOptions(const unit_options &options)
{
    QSettings s = settings();
    s.setValue(ratio_key, options.link_ratio);
    s.setValue(caps_key, options.attach_caps);
    s.setValue(cover_key, options.cap_cover);
    s.setValue(stack_key, options.stack_caps);
    s.setValue(stack_cover_key, options.stack_cover);
    s.setValue(best_key, options.best_parent);
}

UnitSettingsDialog::UnitSettingsDialog(const unit_options &options, QWidget *parent)
    : QDialog(parent), m_ratio(new QDoubleSpinBox(this)), m_caps(new QCheckBox(this)),
      m_cover(new QDoubleSpinBox(this)), m_stack(new QCheckBox(this)),
      m_stack_cover(new QDoubleSpinBox(this)), m_best(new QCheckBox(this))
{
    setObjectName("unitSettings");
    setWindowTitle(tr("Unit settings"));
    m_ratio->setObjectName("spinBox_link_ratio");
    m_ratio->setRange(0.0, 1.0);
    m_ratio->setDecimals(3);
    m_ratio->setSingleStep(0.05);
    m_ratio->setToolTip(tr("Link two units only when their shared pixels exceed this fraction "
                           "of the smaller unit's pixels (0: any shared pixel links)"));
    m_caps->setObjectName("checkBox_attach_caps");
    m_caps->setText(tr("Attach caps"));
    m_caps->setToolTip(tr("A unit of one or two ROIs joins the unit whose ROI on the next or "
                          "previous plane covers more than the given part of its pixels, "
                          "unless that unit already has a ROI on the cap's plane"));
    m_cover->setObjectName("spinBox_cap_cover");
    m_cover->setRange(0.0, 0.999);
    m_cover->setDecimals(3);
    m_cover->setSingleStep(0.05);
    m_stack->setObjectName("checkBox_stack_caps");
    m_stack->setText(tr("Stack caps"));
    m_stack->setToolTip(
        tr("Units of one or two ROIs still on their own join each other where a ROI of one, on "
           "the next or previous plane, covers more than the given part of the smaller ROI's "
           "pixels. With cap attachment, the small units left then attach again, also to a unit "
           "two planes away when that unit has no ROI on the plane between and another ROI "
           "there covers them (a plane drawn together with a neighbour)"));
    m_stack_cover->setObjectName("spinBox_stack_cover");
    m_stack_cover->setRange(0.0, 0.999);
    m_stack_cover->setDecimals(3);
    m_stack_cover->setSingleStep(0.05);
    m_best->setObjectName("checkBox_best_parent");
    m_best->setText(tr("Best parent only"));
    m_best->setToolTip(tr("A unit keeps only the parent links that share at least half as many "
                          "pixels as its best parent's"));
    connect(m_caps, &QCheckBox::toggled, m_cover, &QWidget::setEnabled);
    connect(m_stack, &QCheckBox::toggled, m_stack_cover, &QWidget::setEnabled);

    auto *form = new QFormLayout;
    form->addRow(tr("Link ratio"), m_ratio);
    form->addRow(m_caps);
    form->addRow(tr("Cap cover"), m_cover);
    form->addRow(m_stack);
    form->addRow(tr("Stack cover"), m_stack_cover);
    form->addRow(m_best);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton *recommended = buttons->addButton(tr("Recommended"), QDialogButtonBox::ResetRole);
    QPushButton *plain = buttons->addButton(tr("Defaults"), QDialogButtonBox::ResetRole);
    recommended->setObjectName("pushButton_units_recommended");
    plain->setObjectName("pushButton_units_defaults");
    recommended->setToolTip(tr("The values recommended for packed cells"));
    plain->setToolTip(
        tr("Any shared pixel links; no cap attachment; no cap stacking; every parent"));
    connect(recommended, &QPushButton::clicked, this,
            [this] { showOptions(unit_options::recommended()); });
    connect(plain, &QPushButton::clicked, this, [this] { showOptions(unit_options()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *column = new QVBoxLayout(this);
    column->addWidget(new QLabel(tr("Rules of \"Make units\" and K"), this));
    column->addLayout(form);
    column->addWidget(buttons);
    showOptions(options);
}

void UnitSettingsDialog::showOptions(const unit_options &options)
{
    m_ratio->setValue(options.link_ratio);
    m_caps->setChecked(options.attach_caps);
    m_cover->setValue(options.cap_cover);
    m_cover->setEnabled(options.attach_caps);
    m_stack->setChecked(options.stack_caps);
    m_stack_cover->setValue(options.stack_cover);
    m_stack_cover->setEnabled(options.stack_caps);
    m_best->setChecked(options.best_parent);
}

unit_options UnitSettingsDialog::options() const
{
    unit_options o;
    o.link_ratio = m_ratio->value();
    o.attach_caps = m_caps->isChecked();
    o.cap_cover = m_cover->value();
    o.stack_caps = m_stack->isChecked();
    o.stack_cover = m_stack_cover->value();
    o.best_parent = m_best->isChecked();
    return o;
}
