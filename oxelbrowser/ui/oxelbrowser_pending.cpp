// Commands of the window whose behaviour is not built yet: the unit split.
// Each does nothing until its part of the browser lands.
#include "OXELBrowser.h"

void OXELBrowser::manualSplit(std::string, std::set<std::string>, int, int, int) {}
void OXELBrowser::pushButton_auto_split_toggled(bool) {}
void OXELBrowser::pushButton_split_clicked() {}
void OXELBrowser::splitROI(std::string, pos3d, pos3d, std::list<roi> &, std::list<roi> &) {}

unsigned int OXELBrowser::cross_section_size(std::string, pos3d, pos3d, bool &, bool &)
{
    return 0;
}

pos3d OXELBrowser::search_cutting_position(std::string, pos3d, pos3d, int)
{
    return pos3d();
}
