// Commands of the window whose behaviour is not built yet: whole-set
// commands, doubt search, lineage drawing, unit split, review lists, info and
// false-positive files. Each does nothing until its part of the browser lands.
#include "OXELBrowser.h"

void OXELBrowser::manualSplit(std::string, std::set<std::string>, int, int, int) {}
void OXELBrowser::pushButton_reset_clicked() {}
void OXELBrowser::pushButton_clean_clicked() {}
void OXELBrowser::search_doubt_units() {}
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
