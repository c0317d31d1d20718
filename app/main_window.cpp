#include "app/main_window.h"

#include <QCloseEvent>
#include <QFont>
#include <QGuiApplication>
#include <QMetaObject>
#include <QPalette>
#include <QScreen>
#include <QStackedWidget>
#include <atomic>
#include <mutex>
#include <thread>
#include <utility>

#include "app/qt_text.h"

// Qt's resource initialiser must be called outside any namespace.
static void InitialiseAssets() {
    Q_INIT_RESOURCE(assets);
}

namespace tarvo {
namespace {

constexpr int kWidth = 1138;
constexpr int kHeight = 500;

const QString kPlaceholder = QStringLiteral("请输出皮皮虾作品分享连接");
const QString kInvalidLinkCaption = QStringLiteral("Error");
const QString kInvalidLinkText = QStringLiteral("请输出皮皮虾作品分享连接！");
const QString kCloseQuestionCaption = QStringLiteral("信息：");
const QString kCloseQuestionText = QStringLiteral("是否加群？点是的话复制群号点否，则不复制！");
const QString kCreditCaption = QStringLiteral("Tarvo Tools By  Vantoris");
const QString kNull = QStringLiteral("Null");
const QString kFontFamily = QStringLiteral("WenQuanYi Micro Hei");

std::atomic<int> runningJobs{0};

template <typename Control, typename... Args>
Control* Place(const char* name, QWidget* parent, QRect geometry, Args&&... args) {
    auto* control = new Control(std::forward<Args>(args)..., parent);
    control->setObjectName(QString::fromUtf8(name));
    control->setGeometry(geometry);
    return control;
}

}  // namespace

WindowConfiguration BuiltInConfiguration() {
    return {.creditUrl = TARVO_CREDIT_URL,
            .groupUrl = TARVO_GROUP_URL,
            .groupNumber = TARVO_GROUP_NUMBER};
}

// Carries the job's writes onto the window's thread. The job's thread posts under the lock,
// so the window cannot be destroyed halfway through a post; the window cuts the channel
// before it goes, and Qt drops what was posted to it and not yet delivered.
class JobChannel {
  public:
    explicit JobChannel(MainWindow* window) : window_(window) {}

    void Post(std::function<void(MainWindow&)> call) {
        const std::lock_guard lock(mutex_);
        if (window_ == nullptr) return;
        QMetaObject::invokeMethod(
            window_, [window = window_, call = std::move(call)] { call(*window); },
            Qt::QueuedConnection);
    }

    void Cut() {
        const std::lock_guard lock(mutex_);
        window_ = nullptr;
    }

  private:
    std::mutex mutex_;
    MainWindow* window_;
};

namespace {

class QueuedJobOutput final : public JobOutput {
  public:
    explicit QueuedJobOutput(std::shared_ptr<JobChannel> channel) : channel_(std::move(channel)) {}

    void SetUser(const Text& user) override { Write(ResultBox::User, user); }
    void SetDownUrl1(const Text& url) override { Write(ResultBox::DownUrl1, url); }
    void SetDownUrl2(const Text& url) override { Write(ResultBox::DownUrl2, url); }
    void SetTitle(const Text& title) override { Write(ResultBox::Title, title); }
    void SetPage(Page page) override {
        channel_->Post([page](MainWindow& window) { window.SetPage(page); });
    }

  private:
    void Write(ResultBox box, const Text& text) {
        channel_->Post([box, text](MainWindow& window) { window.SetResultText(box, text); });
    }

    std::shared_ptr<JobChannel> channel_;
};

}  // namespace

MainWindow::MainWindow(JobRunner runner, Shell& shell, WindowConfiguration configuration)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::Tool),
      runner_(std::move(runner)),
      shell_(shell),
      configuration_(std::move(configuration)),
      channel_(std::make_shared<JobChannel>(this)) {
    InitialiseAssets();
    setWindowTitle({});
    setFixedSize(kWidth, kHeight);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kBackgroundColour);
    setPalette(colours);
    setAutoFillBackground(true);
    QFont font(kFontFamily);
    font.setPixelSize(14);
    setFont(font);

    BuildControls();
    ConnectHandlers();
    AddTooltips();
}

MainWindow::~MainWindow() {
    channel_->Cut();
    // The boxes go after this object: the focus they lose on the way must not reach it.
    disconnect(编辑框_分享链接, nullptr, this, nullptr);
}

void MainWindow::BuildControls() {
    图片框_Background = Place<PictureBox>("图片框_Background", this, {0, 0, 1138, 500});
    图片框_Background->SetPicture(":/assets/background.jpg");
    图片框_LOGO = Place<PictureBox>("图片框_LOGO", this, {168, 40, 160, 152});
    图片框_LOGO->SetPicture(":/assets/logo.jpg");
    图形按钮_Exit = Place<PictureButton>("图形按钮_Exit", 图片框_Background, {8, 8, 16, 16});
    图形按钮_Exit->SetPictures(":/assets/exit.jpg");
    图形按钮_About = Place<PictureButton>("图形按钮_About", 图片框_Background, {30, 8, 16, 16});
    图形按钮_About->SetPictures(":/assets/about.jpg");
    超级链接框1 =
        Place<Hyperlink>("超级链接框1", 图片框_Background, {170, 464, 170, 24}, kCreditCaption);

    选择夹1 = Place<QStackedWidget>("选择夹1", 图片框_Background, {34, 232, 442, 264});
    选择夹1->setFrameShape(QFrame::NoFrame);
    QWidget* pages[3];
    const char* const pageNames[3] = {"Home", "Load", "End"};
    for (int index = 0; index < 3; ++index) {
        pages[index] = new QWidget(选择夹1);
        pages[index]->setObjectName(QString::fromLatin1(pageNames[index]));
        选择夹1->addWidget(pages[index]);
    }
    QWidget* home = pages[0];
    QWidget* load = pages[1];
    QWidget* end = pages[2];

    外形框2 = Place<ShapeBox>("外形框2", home, {0, 70, 442, 32});
    图片框_分享链接 = Place<PictureBox>("图片框_分享链接", 外形框2, {1, 1, 30, 30});
    图片框_分享链接->SetPicture(":/assets/link.jpg");
    图片框_分享链接_bg = Place<PictureBox>("图片框_分享链接_bg", 外形框2, {32, 1, 378, 30});
    图片框_分享链接_bg->SetPlainWhite();
    编辑框_分享链接 = Place<EditBox>("编辑框_分享链接", 图片框_分享链接_bg, {10, 1, 366, 30});
    编辑框_分享链接->setText(kPlaceholder);
    编辑框_分享链接->setFocusPolicy(Qt::ClickFocus);
    图形按钮_Go = Place<PictureButton>("图形按钮_Go", 外形框2, {411, 1, 30, 30});
    图形按钮_Go->SetPictures(":/assets/go.jpg", ":/assets/go_hover.jpg");

    图片框_Loading = Place<PictureBox>("图片框_Loading", load, {150, 16, 143, 150});
    图片框_Loading->SetAnimation(":/assets/loading.gif");

    外形框4 = Place<ShapeBox>("外形框4", end, {0, 0, 442, 32});
    图片框_Title = Place<PictureBox>("图片框_Title", 外形框4, {1, 1, 30, 30});
    图片框_Title->SetPicture(":/assets/title.jpg");
    图片框_Title_bg = Place<PictureBox>("图片框_Title_bg", 外形框4, {32, 1, 233, 30});
    图片框_Title_bg->SetPlainWhite();
    编辑框_Title = Place<EditBox>("编辑框_Title", 图片框_Title_bg, {10, 1, 220, 30});
    图片框_User = Place<PictureBox>("图片框_User", 外形框4, {266, 1, 30, 30});
    图片框_User->SetPicture(":/assets/user.jpg");
    图片框_User_bg = Place<PictureBox>("图片框_User_bg", 外形框4, {297, 1, 144, 30});
    图片框_User_bg->SetPlainWhite();
    编辑框_User = Place<EditBox>("编辑框_User", 图片框_User_bg, {10, 1, 134, 30});

    外形框1 = Place<ShapeBox>("外形框1", end, {0, 47, 442, 32});
    图片框_DownUrl1 = Place<PictureBox>("图片框_DownUrl1", 外形框1, {1, 1, 30, 30});
    图片框_DownUrl1->SetPicture(":/assets/download.jpg");
    图片框_DownUrl1_bg = Place<PictureBox>("图片框_DownUrl1_bg", 外形框1, {32, 1, 378, 30});
    图片框_DownUrl1_bg->SetPlainWhite();
    编辑框_DownUrl1 = Place<EditBox>("编辑框_DownUrl1", 图片框_DownUrl1_bg, {10, 1, 366, 30});
    图形按钮_CopyUrl1 = Place<PictureButton>("图形按钮_CopyUrl1", 外形框1, {411, 1, 30, 30});
    图形按钮_CopyUrl1->SetPictures(":/assets/copy.jpg", ":/assets/copy_hover.jpg");

    外形框3 = Place<ShapeBox>("外形框3", end, {0, 99, 442, 32});
    图片框_DownUrl2 = Place<PictureBox>("图片框_DownUrl2", 外形框3, {1, 1, 30, 30});
    图片框_DownUrl2->SetPicture(":/assets/download.jpg");
    图片框_DownUrl2_bg = Place<PictureBox>("图片框_DownUrl2_bg", 外形框3, {32, 1, 378, 30});
    图片框_DownUrl2_bg->SetPlainWhite();
    编辑框_DownUrl2 = Place<EditBox>("编辑框_DownUrl2", 图片框_DownUrl2_bg, {10, 1, 366, 30});
    图形按钮_CopyUrl2 = Place<PictureButton>("图形按钮_CopyUrl2", 外形框3, {411, 1, 30, 30});
    图形按钮_CopyUrl2->SetPictures(":/assets/copy.jpg", ":/assets/copy_hover.jpg");

    图形按钮_Rest = Place<PictureButton>("图形按钮_Rest", end, {171, 174, 96, 30});
    图形按钮_Rest->SetPictures(":/assets/rest.jpg", ":/assets/rest_hover.jpg");

    for (EditBox* box : {编辑框_Title, 编辑框_User, 编辑框_DownUrl1, 编辑框_DownUrl2}) {
        box->setText(kNull);
    }
    选择夹1->setCurrentIndex(static_cast<int>(Page::Home));
}

void MainWindow::ConnectHandlers() {
    connect(编辑框_分享链接, &EditBox::focusGained, this, &MainWindow::OnLinkFocusGained);
    connect(编辑框_分享链接, &EditBox::focusLost, this, &MainWindow::OnLinkFocusLost);
    connect(图形按钮_Go, &QAbstractButton::clicked, this, &MainWindow::OnGoClicked);
    connect(图形按钮_CopyUrl1, &QAbstractButton::clicked, this,
            [this] { OnCopyClicked(*编辑框_DownUrl1); });
    connect(图形按钮_CopyUrl2, &QAbstractButton::clicked, this,
            [this] { OnCopyClicked(*编辑框_DownUrl2); });
    connect(图形按钮_Rest, &QAbstractButton::clicked, this, &MainWindow::OnRestClicked);
    connect(图形按钮_About, &QAbstractButton::clicked, this, &MainWindow::OnAboutClicked);
    connect(图形按钮_Exit, &QAbstractButton::clicked, this, &MainWindow::OnExitClicked);
    connect(超级链接框1, &Hyperlink::openRequested, this, &MainWindow::OnCreditClicked);
}

void MainWindow::AddTooltips() {
    tooltips_ = new Tooltips(this);
    const TooltipOptions standard{.balloon = false, .centred = false};
    tooltips_->Add(编辑框_分享链接, kPlaceholder, standard);
    tooltips_->Add(编辑框_Title, QStringLiteral("作品标题"), standard);
    tooltips_->Add(编辑框_User, QStringLiteral("用户ID"), standard);
    tooltips_->Add(编辑框_DownUrl1, QStringLiteral("下载链接"), standard);
    tooltips_->Add(编辑框_DownUrl2, QStringLiteral("下载链接"), standard);
    tooltips_->Add(图形按钮_Exit, QStringLiteral("关闭"), standard);
    tooltips_->Add(图形按钮_About, QStringLiteral("关于/或加群"), standard);
    tooltips_->Add(图形按钮_Go, QStringLiteral("解析该链接"), standard);
    tooltips_->Add(图形按钮_CopyUrl1, QStringLiteral("复制链接"), standard);
    tooltips_->Add(图形按钮_CopyUrl2, QStringLiteral("复制链接"), standard);
    tooltips_->Add(图形按钮_Rest, QStringLiteral("重置数据"), standard);
}

void MainWindow::ShowCentred() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - kWidth) / 2, area.y() + (area.height() - kHeight) / 2);
    }
    show();
}

Page MainWindow::CurrentPage() const {
    return static_cast<Page>(选择夹1->currentIndex());
}

void MainWindow::SetPage(Page page) {
    选择夹1->setCurrentIndex(static_cast<int>(page));
}

void MainWindow::SetResultText(ResultBox box, const Text& text) {
    EditBox* target = 编辑框_User;
    switch (box) {
        case ResultBox::User:
            target = 编辑框_User;
            break;
        case ResultBox::DownUrl1:
            target = 编辑框_DownUrl1;
            break;
        case ResultBox::DownUrl2:
            target = 编辑框_DownUrl2;
            break;
        case ResultBox::Title:
            target = 编辑框_Title;
            break;
    }
    target->setText(ToQString(text));
    // A long address shows from its beginning, as a freshly filled box does on the desktop.
    target->setCursorPosition(0);
}

int MainWindow::RunningJobs() {
    return runningJobs.load();
}

void MainWindow::OnLinkFocusGained() {
    if (编辑框_分享链接->text() != kPlaceholder) return;
    编辑框_分享链接->setText({});
    编辑框_分享链接->SetTextColour(kAccentColour);
}

// The colour stays as it is: after the first focus the placeholder shows in the accent.
void MainWindow::OnLinkFocusLost() {
    if (编辑框_分享链接->text().isEmpty()) 编辑框_分享链接->setText(kPlaceholder);
}

void MainWindow::OnGoClicked() {
    const Text link = FromQString(编辑框_分享链接->text());
    if (link.empty() || link == FromQString(kPlaceholder)) {
        shell_.ShowMessageBox({.owner = this,
                               .caption = FromQString(kInvalidLinkCaption),
                               .text = FromQString(kInvalidLinkText),
                               .buttons = MessageBoxButtons::Ok,
                               .icon = MessageBoxIcon::Error});
        return;
    }
    SetPage(Page::Load);
    jobLinkText_ = FromQString(编辑框_分享链接->text());
    if (!runner_) return;
    // The job gets its own copy of the link and its own output, so neither depends on the
    // window still being there when the job gets to them.
    auto output = std::make_shared<QueuedJobOutput>(channel_);
    ++runningJobs;
    std::thread([runner = runner_, link = jobLinkText_, output] {
        runner(link, *output);
        --runningJobs;
    }).detach();
}

void MainWindow::OnCopyClicked(const EditBox& box) {
    PutTextOnClipboard(FromQString(box.text()));
}

void MainWindow::OnRestClicked() {
    SetPage(Page::Home);
}

void MainWindow::OnAboutClicked() {
    shell_.OpenAddress(configuration_.groupUrl);
}

void MainWindow::OnExitClicked() {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void MainWindow::OnCreditClicked() {
    shell_.OpenAddress(configuration_.creditUrl);
    超级链接框1->MarkOpened();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing cannot be refused; a second request while the question is open only closes.
    event->accept();
    if (closing_) return;
    closing_ = true;
    channel_->Cut();
    AskCloseQuestion();
}

void MainWindow::AskCloseQuestion() {
    const MessageBoxAnswer answer =
        shell_.ShowMessageBox({.owner = nullptr,
                               .caption = FromQString(kCloseQuestionCaption),
                               .text = FromQString(kCloseQuestionText),
                               .buttons = MessageBoxButtons::YesNo,
                               .icon = MessageBoxIcon::None});
    if (answer == MessageBoxAnswer::Yes) PutTextOnClipboard(configuration_.groupNumber);
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    drag_.Press(*this, *event);
}
void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    drag_.Move(*this, *event);
}
void MainWindow::mouseReleaseEvent(QMouseEvent*) {
    drag_.Release();
}

}  // namespace tarvo
