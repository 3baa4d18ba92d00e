// oxelbrowser: opens the main window; an optional argument names a ROI file
// to open at start-up, and the unit flags set the rules of Make units for
// the run.
#include "OXELBrowser.h"
#include "huge_pages.h"
#include "unit_options.h"

#include <QApplication>
#include <QStringList>

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    restart_with_huge_pages(argv);
    QApplication app(argc, argv);
    // Where the settings (the lineage tree's geometry, the unit rules) are kept.
    if (QCoreApplication::organizationName().isEmpty())
        QCoreApplication::setOrganizationName("oxelbrowser");
    if (QCoreApplication::applicationName().isEmpty())
        QCoreApplication::setApplicationName("oxelbrowser");
    // Qt has taken its own options out of the arguments by now.
    const QStringList qt_args = app.arguments();
    std::vector<std::string> args;
    for (qsizetype i = 1; i < qt_args.size(); ++i)
        args.push_back(qt_args.at(i).toStdString());
    unit_options flags;
    std::string error;
    const size_t given = args.size();
    if (!take_unit_flags(args, flags, error) || args.size() > 1) {
        std::cerr << "oxelbrowser: " << (error.empty() ? "more than one ROI file" : error)
                  << "\nusage: oxelbrowser [ROI_FILE] " << unit_flags_usage << std::endl;
        return 2;
    }
    auto *window = new OXELBrowser(nullptr, nullptr, Qt::WindowFlags());
    // Flags give the rules for this run (from the defaults, as oxelunits
    // does); the saved ones stay as they were.
    if (args.size() != given)
        window->m_unit_options = flags;
    window->show();
    QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
    if (!args.empty())
        window->readRoiFile(QString::fromStdString(args.front()));
    int status = app.exec();
    delete window;
    return status;
}
