// tarvo: the window that resolves share links of the video service.
//
// Takes no command line of its own; Qt's standard platform options are honoured. The
// environment variable TARVO_SERVICE_HOST, when set, replaces the built-in service host, so
// that the window can be tried against the sample service on 127.0.0.1. With
// TARVO_EXIT_AT_FIRST_FRAME set, the program writes "first frame" to standard output once the
// window has been painted for the first time and ends, so that start-up can be timed.
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "app/main_window.h"
#include "app/shell.h"
#include "job/share_link_job.h"

namespace {

// Reports the first paint of the object it watches, after the paint is done, and ends the
// event loop.
class FirstFrame : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            QTimer::singleShot(0, [] {
                std::fputs("first frame\n", stdout);
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    bool seen_ = false;
};

}  // namespace

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
        if (std::getenv("TARVO_EXIT_AT_FIRST_FRAME") != nullptr) {
            window->installEventFilter(new FirstFrame(window));
        }
        window->ShowCentred();
        exitCode = QApplication::exec();
    }
    // A job still blocked in the network is not waited for; ending without running the
    // static destructors keeps them from being pulled from under it.
    if (tarvo::MainWindow::RunningJobs() > 0) std::quick_exit(exitCode);
    return exitCode;
}
