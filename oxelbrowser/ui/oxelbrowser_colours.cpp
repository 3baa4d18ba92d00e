// The main window's colour table and its per-user file.
#include "OXELBrowser.h"
#include "colour_table.h"

#include <iostream>

bool OXELBrowser::loadConfigFile()
{
    if (!colour_table::load_file(colour_table::user_file(), color))
        return false;
    dirty = true;
    repaintNow();
    return true;
}

void OXELBrowser::initColors()
{
    if (!loadConfigFile())
        colour_table::builtin(color);
}

void OXELBrowser::pushButton_reload_config_file_clicked()
{
    if (!loadConfigFile())
        std::cerr << "Cannot find the config file in your home directory." << std::endl;
}
