// tarvo: the window that resolves share links of the video service.
//
// Takes no command line of its own; Qt's standard platform options are honoured. The
// environment variable TARVO_SERVICE_HOST, when set, replaces the built-in service host, so
// that the window can be tried against the sample service on 127.0.0.1.
#include <QApplication>
#include <cstdlib>
#include <memory>
#include <utility>

#include "app/main_window.h"
#include "app/shell.h"
#include "job/share_link_job.h"

int main(int argc, char** argv) {
    int exitCode = 0;
    {
        QApplication application(argc, argv);
        // The X11 window class of the window.
        QApplication::setApplicationName(QStringLiteral("Vantoris"));
        tarvo::DesktopShell shell;
        tarvo::ShareLinkJobOptions job;
        if (const char* host = std::getenv("TARVO_SERVICE_HOST"); host != nullptr && *host != 0) {
            job.host = host;
        }

        // Shutdown is arranged first: the loop ends when the window has been destroyed,
        // and the window releases JobLinkText as it goes.
        auto* window = new tarvo::MainWindow(
            [job](tarvo::Text link, tarvo::JobOutput& output) {
                tarvo::ShareLinkJob(link, output, job);
            },
            shell);
        window->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(window, &QObject::destroyed, &application, &QApplication::quit);
        window->ShowCentred();
        exitCode = QApplication::exec();
    }
    // A job still blocked in the network is not waited for; ending without running the
    // static destructors keeps them from being pulled from under it.
    if (tarvo::MainWindow::RunningJobs() > 0) std::quick_exit(exitCode);
    return exitCode;
}
