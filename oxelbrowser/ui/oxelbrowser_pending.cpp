// Commands of the window whose behaviour is not built yet: doubt search,
// lineage drawing, unit split and review lists. Each does nothing until its
// part of the browser lands.
#include "OXELBrowser.h"

void OXELBrowser::manualSplit(std::string, std::set<std::string>, int, int, int) {}
void OXELBrowser::search_doubt_units() {}
void OXELBrowser::pushButton_auto_split_toggled(bool) {}
void OXELBrowser::pushButton_split_clicked() {}
void OXELBrowser::splitROI(std::string, pos3d, pos3d, std::list<roi> &, std::list<roi> &) {}
void OXELBrowser::pushButton_dead_end_clicked() {}
void OXELBrowser::pushButton_unlinked_unit_clicked() {}
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
