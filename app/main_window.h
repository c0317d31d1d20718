// The program's one window: a frameless picture card with a link box, a loading page and
// four result boxes on the pages of one page container.
//
// The window and everything in it belong to the thread that created it. A share-link job
// runs on a thread of its own and reaches the window only through the JobOutput the window
// hands it, whose calls are carried over to the window's thread in the job's order; once
// the window has closed, they are dropped. Texts crossing this interface are code page 936.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "app/controls.h"
#include "app/shell.h"
#include "app/tooltips.h"
#include "job/job_output.h"
#include "text/text.h"

class QStackedWidget;

namespace tarvo {

// Runs one share-link job for `link`, writing its results to `output`. Called on a new
// thread that nothing waits for; `output` stays valid for the whole call.
using JobRunner = std::function<void(Text link, JobOutput& output)>;

// The values set where the program is built.
struct WindowConfiguration {
    Text creditUrl;    // opened by the credit line
    Text groupUrl;     // opened by the About button
    Text groupNumber;  // decimal digits, offered on the clipboard at close
};

// The values this build was configured with.
[[nodiscard]] WindowConfiguration BuiltInConfiguration();

enum class ResultBox { User, DownUrl1, DownUrl2, Title };

class JobChannel;

class MainWindow : public QWidget {
  public:
    // `shell` must outlive the window.
    MainWindow(JobRunner runner, Shell& shell,
               WindowConfiguration configuration = BuiltInConfiguration());
    ~MainWindow() override;

    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Shows the window centred on the primary screen.
    void ShowCentred();

    [[nodiscard]] Page CurrentPage() const;
    void SetPage(Page page);
    void SetResultText(ResultBox box, const Text& text);

    // The link handed to the running or last job; empty before the first one.
    [[nodiscard]] const Text& JobLinkText() const { return jobLinkText_; }

    [[nodiscard]] const Tooltips& Tips() const { return *tooltips_; }

    // Jobs of any window of this process whose runner has not returned yet.
    [[nodiscard]] static int RunningJobs();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void BuildControls();
    void AddTooltips();
    void ConnectHandlers();

    void OnLinkFocusGained();
    void OnLinkFocusLost();
    void OnGoClicked();
    void OnCopyClicked(const EditBox& box);
    void OnRestClicked();
    void OnAboutClicked();
    void OnExitClicked();
    void OnCreditClicked();
    void AskCloseQuestion();

    JobRunner runner_;
    Shell& shell_;
    WindowConfiguration configuration_;
    Text jobLinkText_;
    std::shared_ptr<JobChannel> channel_;
    Tooltips* tooltips_ = nullptr;
    WindowDrag drag_;
    bool closing_ = false;

    // The controls, named as in the window's description, in the order of its tree.
    PictureBox* 图片框_Background = nullptr;
    PictureBox* 图片框_LOGO = nullptr;
    PictureButton* 图形按钮_Exit = nullptr;
    PictureButton* 图形按钮_About = nullptr;
    Hyperlink* 超级链接框1 = nullptr;
    QStackedWidget* 选择夹1 = nullptr;
    ShapeBox* 外形框2 = nullptr;
    PictureBox* 图片框_分享链接 = nullptr;
    PictureBox* 图片框_分享链接_bg = nullptr;
    EditBox* 编辑框_分享链接 = nullptr;
    PictureButton* 图形按钮_Go = nullptr;
    PictureBox* 图片框_Loading = nullptr;
    ShapeBox* 外形框4 = nullptr;
    PictureBox* 图片框_Title = nullptr;
    PictureBox* 图片框_Title_bg = nullptr;
    EditBox* 编辑框_Title = nullptr;
    PictureBox* 图片框_User = nullptr;
    PictureBox* 图片框_User_bg = nullptr;
    EditBox* 编辑框_User = nullptr;
    ShapeBox* 外形框1 = nullptr;
    PictureBox* 图片框_DownUrl1 = nullptr;
    PictureBox* 图片框_DownUrl1_bg = nullptr;
    EditBox* 编辑框_DownUrl1 = nullptr;
    PictureButton* 图形按钮_CopyUrl1 = nullptr;
    ShapeBox* 外形框3 = nullptr;
    PictureBox* 图片框_DownUrl2 = nullptr;
    PictureBox* 图片框_DownUrl2_bg = nullptr;
    EditBox* 编辑框_DownUrl2 = nullptr;
    PictureButton* 图形按钮_CopyUrl2 = nullptr;
    PictureButton* 图形按钮_Rest = nullptr;
};

}  // namespace tarvo
