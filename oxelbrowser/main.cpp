// oxelbrowser: opens the main window; an optional argument names a ROI file
// to open at start-up.
#include "OXELBrowser.h"
#include "huge_pages.h"
#include "program_info.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>

#include <cstring>

namespace
{

void describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        "Reviews and corrects the ROIs (outlines of detected nuclei) of a 4D microscope series.");
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
    // Where the settings (the lineage tree's geometry) are kept.
    if (QCoreApplication::organizationName().isEmpty())
        QCoreApplication::setOrganizationName("oxelbrowser");
    // Qt has taken its own options out of the arguments by now.
    QCommandLineParser parser;
    describe(parser);
    parser.process(app);
    auto *window = new OXELBrowser(nullptr, nullptr, Qt::WindowFlags());
    window->show();
    QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
    const QStringList args = parser.positionalArguments();
    if (!args.isEmpty())
        window->readRoiFile(args.at(0));
    int status = app.exec();
    delete window;
    return status;
}
