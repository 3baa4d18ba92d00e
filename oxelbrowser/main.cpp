// oxelbrowser: opens the main window; an optional argument names a ROI file
// to open at start-up, and the unit flags set the rules of Make units for
// the run.
#include "OXELBrowser.h"
#include "huge_pages.h"
#include "program_info.h"
#include "unit_options.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace
{

void describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QString("Reviews and corrects the ROIs (outlines of detected nuclei) of a 4D microscope "
                "series.\nThe rules of Make units for this run: ") +
        unit_flags_usage);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("file", "A ROI file (.roi) to open at start-up.", "[FILE.roi]");
}

// Whether --help or --version is asked for, which needs no display.
bool asks_for_info(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        for (const char *option : {"--help", "-h", "-?", "--help-all", "--version", "-v"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication::setApplicationName("oxelbrowser");
    QCoreApplication::setApplicationVersion(OXEL_VERSION);
    if (asks_for_info(argc, argv)) {
        QCoreApplication info(argc, argv);
        QCommandLineParser parser;
        describe(parser);
        parser.process(info); // prints the answer and exits
        return 0;
    }
    restart_with_huge_pages(argv);
    QApplication app(argc, argv);
    // Where the settings (the lineage tree's geometry, the unit rules) are kept.
    if (QCoreApplication::organizationName().isEmpty())
        QCoreApplication::setOrganizationName("oxelbrowser");
    // Qt has taken its own options out of the arguments by now; the unit
    // flags are taken out before the parser sees the rest.
    std::vector<std::string> args;
    {
        const QStringList qt_args = app.arguments();
        for (qsizetype i = 1; i < qt_args.size(); ++i)
            args.push_back(qt_args.at(i).toStdString());
    }
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
