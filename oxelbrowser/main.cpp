// oxelbrowser: opens the main window; an optional argument names a ROI file
// to open at start-up.
#include "OXELBrowser.h"
#include "huge_pages.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char **argv)
{
    restart_with_huge_pages(argv);
    QApplication app(argc, argv);
    // Where the settings (the lineage tree's geometry) are kept.
    if (QCoreApplication::organizationName().isEmpty())
        QCoreApplication::setOrganizationName("oxelbrowser");
    if (QCoreApplication::applicationName().isEmpty())
        QCoreApplication::setApplicationName("oxelbrowser");
    auto *window = new OXELBrowser(nullptr, nullptr, Qt::WindowFlags());
    window->show();
    QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
    // Qt has taken its own options out of the arguments by now.
    const QStringList args = app.arguments();
    if (args.size() > 1)
        window->readRoiFile(args.at(1));
    int status = app.exec();
    delete window;
    return status;
}
