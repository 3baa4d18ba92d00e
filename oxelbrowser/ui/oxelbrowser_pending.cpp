// Commands of the window whose behaviour is not built yet: input and modes,
// tracking, whole-set commands, doubt search, lineage drawing, unit merge and
// split, review lists, info and false-positive files. Each does nothing (event
// handlers fall back to the widget's own) until its part of the browser lands.
#include "OXELBrowser.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

bool OXELBrowser::isSelected(std::string key)
{
    return m_selected_roi_set.count(key) != 0;
}

bool OXELBrowser::isFwdTracked(std::string key)
{
    return m_fwd_roi_set.count(key) != 0;
}

bool OXELBrowser::isBwdTracked(std::string key)
{
    return m_bwd_roi_set.count(key) != 0;
}

void OXELBrowser::setManualEliteMode(bool) {}
void OXELBrowser::setLineageMode(bool) {}
void OXELBrowser::setShowTrackedRoisMode(bool) {}
void OXELBrowser::setAddLineageMode(bool) {}
void OXELBrowser::setRemoveLineageMode(bool) {}
void OXELBrowser::setMergeMode(bool) {}
void OXELBrowser::setSplitMode(bool) {}

void OXELBrowser::keyPressEvent(QKeyEvent *e)
{
    QWidget::keyPressEvent(e);
}

void OXELBrowser::wheelEvent(QWheelEvent *e)
{
    QWidget::wheelEvent(e);
}

void OXELBrowser::mousePressEvent(QMouseEvent *e)
{
    QWidget::mousePressEvent(e);
}

void OXELBrowser::mouseMoveEvent(QMouseEvent *e)
{
    QWidget::mouseMoveEvent(e);
}

void OXELBrowser::manualSplit(std::string, std::set<std::string>, int, int, int) {}
void OXELBrowser::pushButton_forward_tracking_clicked() {}
void OXELBrowser::pushButton_backward_tracking_clicked() {}
void OXELBrowser::do_zTracking() {}
void OXELBrowser::pushButton_z_clicked() {}
void OXELBrowser::forwardTracking(int) {}
void OXELBrowser::backwardTracking(int) {}
void OXELBrowser::zTracking(int) {}
void OXELBrowser::checkAdjacentFocalPlane(roi &, int, int, std::set<std::string> *, double, double)
{
}
void OXELBrowser::pushButton_stop_clicked() {}
void OXELBrowser::pushButton_reset_clicked() {}
void OXELBrowser::pushButton_clean_clicked() {}
void OXELBrowser::search_doubt_units() {}
void OXELBrowser::mergeUnits(std::string, std::string) {}
void OXELBrowser::pushButton_restore_clicked() {}
void OXELBrowser::pushButton_select_all_clicked() {}
void OXELBrowser::pushButton_read_info_clicked() {}
void OXELBrowser::pushButton_save_info_clicked() {}
void OXELBrowser::pushButton_auto_split_toggled(bool) {}
void OXELBrowser::pushButton_drop_false_positive_clicked() {}
void OXELBrowser::pushButton_split_clicked() {}
void OXELBrowser::splitROI(std::string, pos3d, pos3d, std::list<roi> &, std::list<roi> &) {}
void OXELBrowser::pushButton_dead_end_clicked() {}
void OXELBrowser::pushButton_unlinked_unit_clicked() {}
void OXELBrowser::pushButton_read_FP_clicked() {}
void OXELBrowser::pushButton_save_FP_clicked() {}
void OXELBrowser::drawLineage(QPixmap &) {}

pos3d OXELBrowser::g(std::string)
{
    return pos3d();
}

pos3d OXELBrowser::E_g(std::string)
{
    return pos3d();
}

unsigned int OXELBrowser::cross_section_size(std::string, pos3d, pos3d, bool &, bool &)
{
    return 0;
}

pos3d OXELBrowser::search_cutting_position(std::string, pos3d, pos3d, int)
{
    return pos3d();
}
