// tarvo-preview: the window with a stand-in job, for looking at it without the service.
//
//   tarvo-preview                      shows the window; Go fills the results after 2 s
//   tarvo-preview --screenshots DIR    renders the pages Home, Load and End to
//                                      DIR/home.png, DIR/load.png and DIR/end.png
#include <QApplication>
#include <QDir>
#include <QStackedWidget>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/shell.h"

namespace {

struct SampleResults {
    tarvo::Text user = tarvo::FromQString(QStringLiteral("皮皮虾用户"));
    tarvo::Text downUrl1 = "http://127.0.0.1:8080/video/123.mp4?quality=720p";
    tarvo::Text downUrl2 = "http://127.0.0.1:8080/video/123.mp4?quality=480p";
    tarvo::Text title = tarvo::FromQString(QStringLiteral("示例作品标题"));
};

void SampleJob(tarvo::Text, tarvo::JobOutput& output) {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const SampleResults results;
    output.SetUser(results.user);
    output.SetDownUrl1(results.downUrl1);
    output.SetDownUrl2(results.downUrl2);
    output.SetTitle(results.title);
    output.SetPage(tarvo::Page::End);
}

// Answers every box as No, so a page can be rendered without a person.
class QuietShell final : public tarvo::Shell {
  public:
    tarvo::MessageBoxAnswer ShowMessageBox(const tarvo::MessageBoxRequest&) override {
        return tarvo::MessageBoxAnswer::No;
    }
    void OpenAddress(const tarvo::Text&) override {}
};

int RenderPages(const QString& folder) {
    QuietShell shell;
    tarvo::MainWindow window(nullptr, shell);
    window.ShowCentred();
    const SampleResults results;
    window.SetResultText(tarvo::ResultBox::User, results.user);
    window.SetResultText(tarvo::ResultBox::DownUrl1, results.downUrl1);
    window.SetResultText(tarvo::ResultBox::DownUrl2, results.downUrl2);
    window.SetResultText(tarvo::ResultBox::Title, results.title);
    const struct {
        tarvo::Page page;
        const char* file;
    } shots[] = {{tarvo::Page::Home, "home.png"},
                 {tarvo::Page::Load, "load.png"},
                 {tarvo::Page::End, "end.png"}};
    for (const auto& shot : shots) {
        window.SetPage(shot.page);
        QApplication::processEvents();
        const QString path = QDir(folder).filePath(QString::fromLatin1(shot.file));
        if (!window.grab().save(path)) {
            std::fprintf(stderr, "tarvo-preview: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantoris"));
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() == 3 && arguments[1] == QStringLiteral("--screenshots")) {
        return RenderPages(arguments[2]);
    }
    if (arguments.size() != 1) {
        std::fputs("Usage: tarvo-preview [--screenshots DIR]\n", stderr);
        return 2;
    }
    tarvo::DesktopShell shell;
    auto* window = new tarvo::MainWindow(SampleJob, shell);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(window, &QObject::destroyed, &application, &QApplication::quit);
    window->ShowCentred();
    return QApplication::exec();
}
