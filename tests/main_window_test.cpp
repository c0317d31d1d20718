#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QHelpEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMovie>
#include <QScreen>
#include <QStackedWidget>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/main_window.h"
#include "app/qt_text.h"
#include "app/shell.h"
#include "job/share_link_job.h"
#include "tests/support/hostile_service.h"
#include "tests/support/sample_service.h"
#include "text/conversion.h"

// Lets failures show Qt's strings as text.
void PrintTo(const QString& string, std::ostream* out) {
    *out << string.toStdString();
}

namespace tarvo {
namespace {

class QtEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        QLocale::setDefault(QLocale::c());
        application_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { application_.reset(); }

  private:
    int argc_ = 1;
    char name_[16] = "main_window";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] const testing::Environment* const kQt =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

const QString kPlaceholder = QStringLiteral("请输出皮皮虾作品分享连接");
const WindowConfiguration kConfiguration{.creditUrl = "http://127.0.0.1:1/credit",
                                         .groupUrl = "http://127.0.0.1:1/group",
                                         .groupNumber = "24681357"};

// Answers boxes from a script and records what the window asked of the desktop.
class RecordingShell final : public Shell {
  public:
    MessageBoxAnswer ShowMessageBox(const MessageBoxRequest& request) override {
        boxes.push_back(request);
        return answer;
    }
    void OpenAddress(const Text& address) override { addresses.push_back(address); }

    MessageBoxAnswer answer = MessageBoxAnswer::No;
    std::vector<MessageBoxRequest> boxes;
    std::vector<Text> addresses;
};

// A job that waits until the test lets it go, then writes all results and the page, and
// reports that it has returned.
struct HeldJob {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<Text> started;
    std::promise<void> finished;

    JobRunner Runner(std::shared_ptr<HeldJob> self) {
        return [self](Text link, JobOutput& output) {
            self->started.set_value(link);
            self->released.wait();
            output.SetUser("user");
            output.SetDownUrl1("url1");
            output.SetDownUrl2("url2");
            output.SetTitle("title");
            output.SetPage(Page::End);
            self->finished.set_value();
        };
    }
};

template <typename T>
T* Find(const QWidget& window, const char* name) {
    T* control = window.findChild<T*>(QString::fromUtf8(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
}

EditBox* Box(const QWidget& window, const char* name) {
    return Find<EditBox>(window, name);
}

void Click(const QWidget& window, const char* name) {
    QTest::mouseClick(Find<QAbstractButton>(window, name), Qt::LeftButton);
}

QString PageName(const QWidget& window) {
    const auto* pages = Find<QStackedWidget>(window, "选择夹1");
    return pages->currentWidget()->objectName();
}

class MainWindowTest : public testing::Test {
  protected:
    void SetUp() override { QGuiApplication::clipboard()->clear(); }

    std::unique_ptr<MainWindow> Open(JobRunner runner = nullptr) {
        auto window = std::make_unique<MainWindow>(std::move(runner), shell, kConfiguration);
        window->ShowCentred();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return window;
    }

    RecordingShell shell;
};

enum class Kind { PictureBox, PictureButton, Hyperlink, Pages, ShapeBox, EditBox };

struct ControlRow {
    const char* name;
    Kind kind;
    const char* parent;
    const char* page;  // "-" on no page
    QRect geometry;
    const char* content;  // the initial text of boxes and the credit line
};

const std::vector<ControlRow> kControls = {
    {"图片框_Background", Kind::PictureBox, "window", "-", {0, 0, 1138, 500}, ""},
    {"图片框_LOGO", Kind::PictureBox, "window", "-", {168, 40, 160, 152}, ""},
    {"图形按钮_Exit", Kind::PictureButton, "图片框_Background", "-", {8, 8, 16, 16}, ""},
    {"图形按钮_About", Kind::PictureButton, "图片框_Background", "-", {30, 8, 16, 16}, ""},
    {"超级链接框1",
     Kind::Hyperlink,
     "图片框_Background",
     "-",
     {170, 464, 170, 24},
     "Tarvo Tools By  Vantoris"},
    {"选择夹1", Kind::Pages, "图片框_Background", "-", {34, 232, 442, 264}, ""},
    {"外形框2", Kind::ShapeBox, "选择夹1", "Home", {0, 70, 442, 32}, ""},
    {"图片框_分享链接", Kind::PictureBox, "外形框2", "Home", {1, 1, 30, 30}, ""},
    {"图片框_分享链接_bg", Kind::PictureBox, "外形框2", "Home", {32, 1, 378, 30}, ""},
    {"编辑框_分享链接",
     Kind::EditBox,
     "图片框_分享链接_bg",
     "Home",
     {10, 1, 366, 30},
     "请输出皮皮虾作品分享连接"},
    {"图形按钮_Go", Kind::PictureButton, "外形框2", "Home", {411, 1, 30, 30}, ""},
    {"图片框_Loading", Kind::PictureBox, "选择夹1", "Load", {150, 16, 143, 150}, ""},
    {"外形框4", Kind::ShapeBox, "选择夹1", "End", {0, 0, 442, 32}, ""},
    {"图片框_Title", Kind::PictureBox, "外形框4", "End", {1, 1, 30, 30}, ""},
    {"图片框_Title_bg", Kind::PictureBox, "外形框4", "End", {32, 1, 233, 30}, ""},
    {"编辑框_Title", Kind::EditBox, "图片框_Title_bg", "End", {10, 1, 220, 30}, "Null"},
    {"图片框_User", Kind::PictureBox, "外形框4", "End", {266, 1, 30, 30}, ""},
    {"图片框_User_bg", Kind::PictureBox, "外形框4", "End", {297, 1, 144, 30}, ""},
    {"编辑框_User", Kind::EditBox, "图片框_User_bg", "End", {10, 1, 134, 30}, "Null"},
    {"外形框1", Kind::ShapeBox, "选择夹1", "End", {0, 47, 442, 32}, ""},
    {"图片框_DownUrl1", Kind::PictureBox, "外形框1", "End", {1, 1, 30, 30}, ""},
    {"图片框_DownUrl1_bg", Kind::PictureBox, "外形框1", "End", {32, 1, 378, 30}, ""},
    {"编辑框_DownUrl1", Kind::EditBox, "图片框_DownUrl1_bg", "End", {10, 1, 366, 30}, "Null"},
    {"图形按钮_CopyUrl1", Kind::PictureButton, "外形框1", "End", {411, 1, 30, 30}, ""},
    {"外形框3", Kind::ShapeBox, "选择夹1", "End", {0, 99, 442, 32}, ""},
    {"图片框_DownUrl2", Kind::PictureBox, "外形框3", "End", {1, 1, 30, 30}, ""},
    {"图片框_DownUrl2_bg", Kind::PictureBox, "外形框3", "End", {32, 1, 378, 30}, ""},
    {"编辑框_DownUrl2", Kind::EditBox, "图片框_DownUrl2_bg", "End", {10, 1, 366, 30}, "Null"},
    {"图形按钮_CopyUrl2", Kind::PictureButton, "外形框3", "End", {411, 1, 30, 30}, ""},
    {"图形按钮_Rest", Kind::PictureButton, "选择夹1", "End", {171, 174, 96, 30}, ""},
};

bool IsKind(const QWidget& control, Kind kind) {
    switch (kind) {
        case Kind::PictureBox:
            return dynamic_cast<const PictureBox*>(&control) != nullptr;
        case Kind::PictureButton:
            return dynamic_cast<const PictureButton*>(&control) != nullptr;
        case Kind::Hyperlink:
            return dynamic_cast<const Hyperlink*>(&control) != nullptr;
        case Kind::Pages:
            return dynamic_cast<const QStackedWidget*>(&control) != nullptr;
        case Kind::ShapeBox:
            return dynamic_cast<const ShapeBox*>(&control) != nullptr;
        case Kind::EditBox:
            return dynamic_cast<const EditBox*>(&control) != nullptr;
    }
    return false;
}

// The page of the page container that holds `control`, or "-".
QString PageOf(const QWidget& control, const QStackedWidget& pages) {
    for (const QWidget* at = &control; at->parentWidget() != nullptr; at = at->parentWidget()) {
        if (at->parentWidget() == &pages) return at->objectName();
    }
    return QStringLiteral("-");
}

// The parent as the window's description names it: the pages are the container's own.
QString ParentName(const QWidget& control, const QWidget& window, const QStackedWidget& pages) {
    const QWidget* parent = control.parentWidget();
    if (parent == &window) return QStringLiteral("window");
    if (parent->parentWidget() == &pages) return pages.objectName();
    return parent->objectName();
}

void CollectNamed(const QObject& node, QStringList& names) {
    for (const QObject* child : node.children()) {
        const QString name = child->objectName();
        if (child->isWidgetType() && !name.isEmpty() && name != "Home" && name != "Load" &&
            name != "End" && !name.startsWith("qt_")) {
            names << name;
        }
        CollectNamed(*child, names);
    }
}

TEST_F(MainWindowTest, ControlTreeFollowsTheDescription) {
    const auto window = Open();
    const auto* pages = Find<QStackedWidget>(*window, "选择夹1");
    ASSERT_NE(pages, nullptr);
    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.name);
        const auto* control = Find<QWidget>(*window, row.name);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(IsKind(*control, row.kind));
        EXPECT_EQ(ParentName(*control, *window, *pages), QString::fromUtf8(row.parent));
        EXPECT_EQ(PageOf(*control, *pages), QString::fromUtf8(row.page));
        EXPECT_EQ(control->geometry(), row.geometry);
        if (const auto* box = dynamic_cast<const EditBox*>(control)) {
            EXPECT_EQ(box->text(), QString::fromUtf8(row.content));
        } else if (const auto* link = dynamic_cast<const Hyperlink*>(control)) {
            EXPECT_EQ(link->Caption(), QString::fromUtf8(row.content));
        }
    }
    // Nothing named lies in the window beyond its description.
    QStringList expectedNames;
    for (const ControlRow& row : kControls) expectedNames << QString::fromUtf8(row.name);
    QStringList names;
    CollectNamed(*window, names);
    expectedNames.sort();
    names.sort();
    EXPECT_EQ(names, expectedNames);

    const QStringList pageNames = {"Home", "Load", "End"};
    ASSERT_EQ(pages->count(), 3);
    for (int index = 0; index < 3; ++index) {
        EXPECT_EQ(pages->widget(index)->objectName(), pageNames[index]);
    }
}

TEST_F(MainWindowTest, WindowIsAFramelessWhiteCardCentredWithoutTaskbarButton) {
    const auto window = Open();
    EXPECT_EQ(window->size(), QSize(1138, 500));
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(window->windowType(), Qt::Tool);
    EXPECT_FALSE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(window->windowTitle().isEmpty());
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(255, 255, 255));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(window->pos(), QPoint((screen.width() - 1138) / 2, (screen.height() - 500) / 2));
}

TEST_F(MainWindowTest, AtStartOnlyTheHomeControlsShow) {
    const auto window = Open();
    const std::vector<std::string> visible = {
        "图片框_Background",  "图片框_LOGO",     "图形按钮_Exit", "图形按钮_About",
        "超级链接框1",        "选择夹1",         "外形框2",       "图片框_分享链接",
        "图片框_分享链接_bg", "编辑框_分享链接", "图形按钮_Go"};
    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.name);
        const bool expected =
            std::find(visible.begin(), visible.end(), std::string(row.name)) != visible.end();
        EXPECT_EQ(Find<QWidget>(*window, row.name)->isVisible(), expected);
    }
    EXPECT_EQ(PageName(*window), "Home");
    for (const char* name :
         {"编辑框_分享链接", "编辑框_Title", "编辑框_User", "编辑框_DownUrl1", "编辑框_DownUrl2"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Box(*window, name)->TextColour(), QColor(128, 128, 128));
    }
    EXPECT_EQ(Box(*window, "编辑框_分享链接")->focusPolicy(), Qt::ClickFocus);
    EXPECT_EQ(Box(*window, "编辑框_Title")->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(Find<PictureBox>(*window, "图片框_Loading")->Animation()->state(), QMovie::Running);
    EXPECT_TRUE(window->JobLinkText().empty());
}

TEST_F(MainWindowTest, TooltipsAreAddedInOrderAndShownNearThePointer) {
    const auto window = Open();
    const std::vector<std::pair<const char*, const char*>> expected = {
        {"编辑框_分享链接", "请输出皮皮虾作品分享连接"},
        {"编辑框_Title", "作品标题"},
        {"编辑框_User", "用户ID"},
        {"编辑框_DownUrl1", "下载链接"},
        {"编辑框_DownUrl2", "下载链接"},
        {"图形按钮_Exit", "关闭"},
        {"图形按钮_About", "关于/或加群"},
        {"图形按钮_Go", "解析该链接"},
        {"图形按钮_CopyUrl1", "复制链接"},
        {"图形按钮_CopyUrl2", "复制链接"},
        {"图形按钮_Rest", "重置数据"},
    };
    const auto& tips = window->Tips().Tips();
    ASSERT_EQ(tips.size(), expected.size());
    for (size_t index = 0; index < expected.size(); ++index) {
        SCOPED_TRACE(expected[index].first);
        EXPECT_EQ(tips[index].control->objectName(), QString::fromUtf8(expected[index].first));
        EXPECT_EQ(tips[index].text, QString::fromUtf8(expected[index].second));
        EXPECT_FALSE(tips[index].options.balloon);
        EXPECT_FALSE(tips[index].options.centred);
    }
    EXPECT_TRUE(window->testAttribute(Qt::WA_AlwaysShowToolTips));

    auto* exit = Find<QWidget>(*window, "图形按钮_Exit");
    QHelpEvent help(QEvent::ToolTip, QPoint(4, 4), exit->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(exit, &help);
    EXPECT_EQ(QToolTip::text(), QStringLiteral("关闭"));
    QToolTip::hideText();
}

TEST_F(MainWindowTest, PlaceholderGivesWayOnFocusAndReturnsInTheAccentColour) {
    const auto window = Open();
    EditBox* link = Box(*window, "编辑框_分享链接");
    EditBox* title = Box(*window, "编辑框_Title");
    window->SetPage(Page::Home);

    link->setFocus(Qt::MouseFocusReason);
    EXPECT_TRUE(link->text().isEmpty());
    EXPECT_EQ(link->TextColour(), QColor(247, 77, 103));

    window->SetPage(Page::End);  // hides the link box, which loses the focus
    title->setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(link->hasFocus());
    EXPECT_EQ(link->text(), kPlaceholder);
    EXPECT_EQ(link->TextColour(), QColor(247, 77, 103));

    window->SetPage(Page::Home);
    link->setText(QStringLiteral("https://h5.pipix.com/s/abc/"));
    link->SetTextColour(QColor(128, 128, 128));
    link->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(link->text(), QStringLiteral("https://h5.pipix.com/s/abc/"));
    EXPECT_EQ(link->TextColour(), QColor(128, 128, 128));
}

TEST_F(MainWindowTest, SelectionShowsOnlyWithFocus) {
    const auto window = Open();
    window->SetPage(Page::End);
    EditBox* title = Box(*window, "编辑框_Title");
    title->setFocus(Qt::TabFocusReason);
    title->selectAll();
    EXPECT_NE(title->palette().color(QPalette::Active, QPalette::Highlight), QColor(Qt::white));
    // Another window taking the focus keeps the selection, which must then not show.
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(title, &away);
    EXPECT_TRUE(title->hasSelectedText());
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        EXPECT_EQ(title->palette().color(group, QPalette::Highlight), QColor(Qt::white));
        EXPECT_EQ(title->palette().color(group, QPalette::HighlightedText),
                  title->palette().color(group, QPalette::Text));
    }
}

struct GoCase {
    const char* name;
    QString linkText;
    bool starts;
};

TEST_F(MainWindowTest, GoValidatesTheLinkExactly) {
    const std::vector<GoCase> cases = {
        {"placeholder", kPlaceholder, false},
        {"empty", QString(), false},
        {"placeholder with a trailing space", kPlaceholder + " ", true},
        {"spaces", QStringLiteral("   "), true},
        {"a link", QStringLiteral("https://h5.pipix.com/s/abc/"), true},
    };
    for (const GoCase& row : cases) {
        SCOPED_TRACE(row.name);
        shell.boxes.clear();
        auto started = std::make_shared<std::promise<Text>>();
        auto startedText = started->get_future();
        const auto window = Open([started](Text link, JobOutput&) { started->set_value(link); });
        Box(*window, "编辑框_分享链接")->setText(row.linkText);
        Click(*window, "图形按钮_Go");
        if (row.starts) {
            EXPECT_TRUE(shell.boxes.empty());
            EXPECT_EQ(window->CurrentPage(), Page::Load);
            EXPECT_EQ(window->JobLinkText(), FromQString(row.linkText));
            ASSERT_EQ(startedText.wait_for(std::chrono::seconds(5)), std::future_status::ready);
            EXPECT_EQ(startedText.get(), FromQString(row.linkText));
        } else {
            ASSERT_EQ(shell.boxes.size(), 1u);
            const MessageBoxRequest& box = shell.boxes[0];
            EXPECT_EQ(box.owner, window.get());
            EXPECT_EQ(ToQString(box.caption), QStringLiteral("Error"));
            EXPECT_EQ(ToQString(box.text), QStringLiteral("请输出皮皮虾作品分享连接！"));
            EXPECT_EQ(box.buttons, MessageBoxButtons::Ok);
            EXPECT_EQ(box.icon, MessageBoxIcon::Error);
            EXPECT_EQ(window->CurrentPage(), Page::Home);
            EXPECT_TRUE(window->JobLinkText().empty());
            EXPECT_EQ(startedText.wait_for(std::chrono::milliseconds(50)),
                      std::future_status::timeout);
        }
    }
}

TEST_F(MainWindowTest, GoShowsLoadAtOnceAndAJobRunEndsOnEndWithTheBoxesFilled) {
    auto job = std::make_shared<HeldJob>();
    auto window = Open(job->Runner(job));
    const QString link = QStringLiteral("https://h5.pipix.com/s/abc/");
    Box(*window, "编辑框_分享链接")->setText(link);

    std::vector<QString> writes;
    std::vector<bool> onWindowThread;
    for (const char* name : {"编辑框_User", "编辑框_DownUrl1", "编辑框_DownUrl2", "编辑框_Title"}) {
        QObject::connect(Box(*window, name), &QLineEdit::textChanged, [&, name] {
            writes.push_back(QString::fromUtf8(name));
            onWindowThread.push_back(QThread::currentThread() == window->thread());
        });
    }
    QObject::connect(Find<QStackedWidget>(*window, "选择夹1"), &QStackedWidget::currentChanged,
                     [&](int index) {
                         writes.push_back(QString::number(index));
                         onWindowThread.push_back(QThread::currentThread() == window->thread());
                     });

    Click(*window, "图形按钮_Go");
    // The handler returned while the job still waits: the page is Load already.
    EXPECT_EQ(PageName(*window), "Load");
    EXPECT_TRUE(Find<QWidget>(*window, "图片框_Loading")->isVisible());
    EXPECT_FALSE(Find<QWidget>(*window, "图形按钮_Go")->isVisible());
    auto started = job->started.get_future();
    ASSERT_EQ(started.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(started.get(), FromQString(link));

    job->release.set_value();
    ASSERT_EQ(job->finished.get_future().wait_for(std::chrono::seconds(5)),
              std::future_status::ready);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->CurrentPage() == Page::End; }, 5000));
    EXPECT_EQ(writes, (std::vector<QString>{"1", "编辑框_User", "编辑框_DownUrl1",
                                            "编辑框_DownUrl2", "编辑框_Title", "2"}));
    EXPECT_EQ(onWindowThread, std::vector<bool>(writes.size(), true));
    EXPECT_EQ(Box(*window, "编辑框_User")->text(), "user");
    EXPECT_EQ(Box(*window, "编辑框_DownUrl1")->text(), "url1");
    EXPECT_EQ(Box(*window, "编辑框_DownUrl2")->text(), "url2");
    EXPECT_EQ(Box(*window, "编辑框_Title")->text(), "title");
    EXPECT_TRUE(Find<QWidget>(*window, "图形按钮_Rest")->isVisible());
}

TEST_F(MainWindowTest, AFullRunAgainstTheSampleServiceFillsTheBoxesAndEndsOnEnd) {
    test::SampleService service;
    const Text host = service.Host();
    auto window =
        Open([host](Text link, JobOutput& output) { ShareLinkJob(link, output, {.host = host}); });
    Box(*window, "编辑框_分享链接")
        ->setText(QString::fromStdString(service.ShareLink(test::codes::kSample)));
    Click(*window, "图形按钮_Go");
    EXPECT_EQ(PageName(*window), "Load");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->CurrentPage() == Page::End; }, 10000));
    // Code page 936 holds no emoji: the boxes show "?" in their place.
    auto shown = [](std::string_view utf8) {
        return QString::fromStdString(GbkToUtf8(Utf8ToGbk(utf8)));
    };
    EXPECT_EQ(Box(*window, "编辑框_User")->text(), shown(test::sample::kUser));
    EXPECT_EQ(Box(*window, "编辑框_Title")->text(), shown(test::sample::kTitle));
    EXPECT_EQ(Box(*window, "编辑框_DownUrl1")->text(),
              QString::fromStdString(service.DownloadUrl(1)));
    EXPECT_EQ(Box(*window, "编辑框_DownUrl2")->text(),
              QString::fromStdString(service.DownloadUrl(2)));
    EXPECT_EQ(service.Requests().size(), 3u);
    EXPECT_EQ(Box(*window, "编辑框_DownUrl1")->cursorPosition(), 0);

    Click(*window, "图形按钮_CopyUrl1");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromStdString(service.DownloadUrl(1)));
}

TEST_F(MainWindowTest, ResultTextsArriveAsCodePage936) {
    const auto window = Open();
    window->SetResultText(ResultBox::Title, FromQString(QStringLiteral("皮皮虾作品")));
    EXPECT_EQ(Box(*window, "编辑框_Title")->text(), QStringLiteral("皮皮虾作品"));
    // 皮 is C6 A4 in code page 936.
    EXPECT_EQ(FromQString(QStringLiteral("皮")), "\xC6\xA4");
    // A character code page 936 cannot hold reaches the system as "?", as in such a box.
    EXPECT_EQ(FromQString(QStringLiteral("a\u0E01b")), "a?b");
}

TEST_F(MainWindowTest, RestGoesHomeAndKeepsEveryBox) {
    const auto window = Open();
    Box(*window, "编辑框_分享链接")->setText("https://h5.pipix.com/s/abc/");
    window->SetResultText(ResultBox::User, "user");
    window->SetResultText(ResultBox::DownUrl1, "url1");
    window->SetResultText(ResultBox::DownUrl2, "url2");
    window->SetResultText(ResultBox::Title, "title");
    window->SetPage(Page::End);
    Click(*window, "图形按钮_Rest");
    EXPECT_EQ(PageName(*window), "Home");
    EXPECT_EQ(Box(*window, "编辑框_分享链接")->text(), "https://h5.pipix.com/s/abc/");
    EXPECT_EQ(Box(*window, "编辑框_User")->text(), "user");
    EXPECT_EQ(Box(*window, "编辑框_DownUrl1")->text(), "url1");
    EXPECT_EQ(Box(*window, "编辑框_DownUrl2")->text(), "url2");
    EXPECT_EQ(Box(*window, "编辑框_Title")->text(), "title");
}

TEST_F(MainWindowTest, CopyPutsTheBoxTextOnTheClipboardUnchanged) {
    const auto window = Open();
    window->SetPage(Page::End);
    Click(*window, "图形按钮_CopyUrl1");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "Null");
    window->SetResultText(ResultBox::DownUrl2, "https://v.example/video.mp4?a=1&b=2");
    Click(*window, "图形按钮_CopyUrl2");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "https://v.example/video.mp4?a=1&b=2");
    window->SetResultText(ResultBox::DownUrl1, FromQString(QStringLiteral("下载/视频")));
    Click(*window, "图形按钮_CopyUrl1");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("下载/视频"));
}

TEST_F(MainWindowTest, CloseQuestionPutsTheGroupNumberOnTheClipboardOnlyOnYes) {
    for (const MessageBoxAnswer answer : {MessageBoxAnswer::Yes, MessageBoxAnswer::No}) {
        SCOPED_TRACE(answer == MessageBoxAnswer::Yes ? "Yes" : "No");
        QGuiApplication::clipboard()->setText("before");
        shell.boxes.clear();
        shell.answer = answer;
        const auto window = Open();
        EXPECT_TRUE(window->close());
        EXPECT_FALSE(window->isVisible());
        ASSERT_EQ(shell.boxes.size(), 1u);
        const MessageBoxRequest& box = shell.boxes[0];
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(ToQString(box.caption), QStringLiteral("信息："));
        EXPECT_EQ(ToQString(box.text),
                  QStringLiteral("是否加群？点是的话复制群号点否，则不复制！"));
        EXPECT_EQ(box.buttons, MessageBoxButtons::YesNo);
        EXPECT_EQ(box.icon, MessageBoxIcon::None);
        EXPECT_EQ(QGuiApplication::clipboard()->text(),
                  answer == MessageBoxAnswer::Yes ? "24681357" : "before");
    }
}

TEST_F(MainWindowTest, ExitAsksForTheCloseThroughTheQueue) {
    const auto window = Open();
    Click(*window, "图形按钮_Exit");
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(shell.boxes.empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 5000));
    EXPECT_EQ(shell.boxes.size(), 1u);
}

TEST_F(MainWindowTest, EscEnterAndF1LeaveTheWindowAsItIs) {
    const auto window = Open();
    EditBox* link = Box(*window, "编辑框_分享链接");
    link->setFocus(Qt::MouseFocusReason);
    link->setText("x");
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_F1}) {
        QTest::keyClick(link, key);
        QTest::keyClick(window.get(), key);
    }
    QApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(link->hasFocus());
    EXPECT_EQ(link->text(), "x");
    EXPECT_EQ(window->CurrentPage(), Page::Home);
    EXPECT_TRUE(shell.boxes.empty());
}

TEST_F(MainWindowTest, ClosingWhileAJobRunsDropsItsLaterWrites) {
    auto job = std::make_shared<HeldJob>();
    auto window = Open(job->Runner(job));
    Box(*window, "编辑框_分享链接")->setText("https://h5.pipix.com/s/abc/");
    Click(*window, "图形按钮_Go");
    ASSERT_EQ(job->started.get_future().wait_for(std::chrono::seconds(5)),
              std::future_status::ready);
    window->close();
    job->release.set_value();
    ASSERT_EQ(job->finished.get_future().wait_for(std::chrono::seconds(5)),
              std::future_status::ready);
    QTest::qWait(50);
    EXPECT_EQ(Box(*window, "编辑框_User")->text(), "Null");
    EXPECT_EQ(window->CurrentPage(), Page::Load);
}

TEST_F(MainWindowTest, DestroyingTheWindowWhileAJobRunsIsSafe) {
    auto job = std::make_shared<HeldJob>();
    auto window = Open(job->Runner(job));
    Box(*window, "编辑框_分享链接")->setText("https://h5.pipix.com/s/abc/");
    Click(*window, "图形按钮_Go");
    ASSERT_EQ(job->started.get_future().wait_for(std::chrono::seconds(5)),
              std::future_status::ready);
    EXPECT_EQ(MainWindow::RunningJobs(), 1);
    window.reset();
    job->release.set_value();
    ASSERT_EQ(job->finished.get_future().wait_for(std::chrono::seconds(5)),
              std::future_status::ready);
    // Whatever the job posted before the window went is dropped with it.
    QTest::qWait(50);
    EXPECT_TRUE(QTest::qWaitFor([] { return MainWindow::RunningJobs() == 0; }, 5000));
}

// Whatever the link box holds goes through the real job to End, without a crash, a hang, a
// message or a file. Every address that could be reached leads to a port where nothing
// listens, so nothing leaves the machine.
TEST_F(MainWindowTest, OddLinkTextsGoThroughTheJobToEnd) {
    std::string deadHost;
    {
        const test::HostileService gone(test::Hostility::kNeverAnswers);
        deadHost = gone.Host();
    }
    const std::vector<GoCase> cases = {
        {"spaces", QStringLiteral("     "), true},
        {"Chinese text", QStringLiteral("皮皮虾 快来看 分享给你"), true},
        {"100 000 characters", QString(100000, QLatin1Char('a')), true},
        {"CR and LF", QString::fromStdString("https://" + deadHost + "/s/a\r\nX-Injected: 1\r\n"),
         true},
        {"user and password", QString::fromStdString("https://user:pass@" + deadHost + "/s/a/"),
         true},
        {"file address", QStringLiteral("file:///etc/passwd"), true},
        {"ftp address", QString::fromStdString("ftp://" + deadHost + "/s/a/"), true},
    };
    const std::filesystem::path before = std::filesystem::current_path();
    char pattern[] = "/tmp/tarvo-window-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::filesystem::current_path(pattern);
    for (const GoCase& row : cases) {
        SCOPED_TRACE(row.name);
        auto window = Open([deadHost](Text link, JobOutput& output) {
            ShareLinkJob(link, output, {.host = deadHost});
        });
        Box(*window, "编辑框_分享链接")->setText(row.linkText);
        Click(*window, "图形按钮_Go");
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->CurrentPage() == Page::End; }, 20000));
        EXPECT_EQ(Box(*window, "编辑框_User")->text(), "");
        EXPECT_EQ(Box(*window, "编辑框_DownUrl1")->text(), "");
        window.reset();
        EXPECT_TRUE(QTest::qWaitFor([] { return MainWindow::RunningJobs() == 0; }, 5000));
    }
    EXPECT_TRUE(shell.boxes.empty());
    EXPECT_TRUE(shell.addresses.empty());
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::current_path()));
    std::filesystem::current_path(before);
    std::filesystem::remove_all(pattern);
}

// Closing the window while the job waits on a server that never answers returns at once;
// the job ends as soon as its requests do.
TEST_F(MainWindowTest, ClosingWhileTheJobWaitsOnAStalledServerIsPrompt) {
    auto service = std::make_unique<test::HostileService>(test::Hostility::kNeverAnswers);
    const Text host = service->Host();
    auto window =
        Open([host](Text link, JobOutput& output) { ShareLinkJob(link, output, {.host = host}); });
    Box(*window, "编辑框_分享链接")->setText(QString::fromStdString(service->ShareLink()));
    Click(*window, "图形按钮_Go");
    // The share link is answered; the job then waits on the first detail request.
    ASSERT_TRUE(QTest::qWaitFor([&] { return service->RequestCount() >= 2; }, 5000));
    const auto closing = std::chrono::steady_clock::now();
    window->close();
    window.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::milliseconds(500));
    EXPECT_EQ(MainWindow::RunningJobs(), 1);
    service.reset();
    EXPECT_TRUE(QTest::qWaitFor([] { return MainWindow::RunningJobs() == 0; }, 5000));
}

TEST_F(MainWindowTest, AboutAndTheCreditLineOpenTheirAddresses) {
    const auto window = Open();
    Click(*window, "图形按钮_About");
    auto* credit = Find<Hyperlink>(*window, "超级链接框1");
    EXPECT_EQ(credit->CaptionColour(), QColor(247, 77, 103));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), credit->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(credit, &enter);
    EXPECT_EQ(credit->CaptionColour(), QColor(0, 120, 215));
    QTest::mouseClick(credit, Qt::LeftButton);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(credit, &leave);
    EXPECT_EQ(credit->CaptionColour(), QColor(247, 77, 103));
    EXPECT_EQ(shell.addresses,
              (std::vector<Text>{"http://127.0.0.1:1/group", "http://127.0.0.1:1/credit"}));
}

TEST_F(MainWindowTest, PictureButtonsShowTheirHoverPictureUnderThePointer) {
    const auto window = Open();
    auto* go = Find<PictureButton>(*window, "图形按钮_Go");
    const QImage normal = go->CurrentPicture().toImage();
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), go->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(go, &enter);
    const QImage hover = go->CurrentPicture().toImage();
    EXPECT_EQ(hover.size(), QSize(30, 30));
    EXPECT_NE(hover, normal);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(go, &leave);
    EXPECT_EQ(go->CurrentPicture().toImage(), normal);

    auto* exit = Find<PictureButton>(*window, "图形按钮_Exit");
    const QImage dot = exit->CurrentPicture().toImage();
    EXPECT_EQ(dot.size(), QSize(16, 16));
    QApplication::sendEvent(exit, &enter);
    EXPECT_EQ(exit->CurrentPicture().toImage(), dot);
}

TEST_F(MainWindowTest, ShapeBoxesAreAccentRectanglesAndTheContainerIsTransparent) {
    const auto window = Open();
    const QImage row = Find<QWidget>(*window, "外形框2")->grab().toImage();
    EXPECT_EQ(row.pixelColor(0, 0), QColor(247, 77, 103));
    EXPECT_EQ(row.pixelColor(31, 15), QColor(247, 77, 103));  // the gap between icon and box
    EXPECT_EQ(row.pixelColor(100, 0), QColor(247, 77, 103));
    EXPECT_FALSE(Find<QWidget>(*window, "选择夹1")->autoFillBackground());
}

TEST_F(MainWindowTest, PressingTheBackgroundDragsTheWindow) {
    const auto window = Open();
    auto* background = Find<QWidget>(*window, "图片框_Background");
    const QPoint start = window->pos();
    QTest::mousePress(background, Qt::LeftButton, {}, QPoint(600, 100));
    QTest::mouseMove(background, QPoint(640, 130));
    QTest::mouseRelease(background, Qt::LeftButton, {}, QPoint(640, 130));
    EXPECT_EQ(window->pos(), start + QPoint(40, 30));
}

TEST(DesktopShell, BoxWithoutCaptionIsCaptionedInformationAndAnswersItsButton) {
    DesktopShell shell;
    QString caption;
    QString text;
    bool hadYesAndNo = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        hadYesAndNo = box->button(QMessageBox::Yes) && box->button(QMessageBox::No);
        box->button(QMessageBox::Yes)->click();
    });
    const MessageBoxAnswer answer = shell.ShowMessageBox({.owner = nullptr,
                                                          .caption = {},
                                                          .text = "abc",
                                                          .buttons = MessageBoxButtons::YesNo,
                                                          .icon = MessageBoxIcon::None});
    EXPECT_EQ(answer, MessageBoxAnswer::Yes);
    EXPECT_EQ(caption, QStringLiteral("信息："));
    EXPECT_EQ(text, "abc");
    EXPECT_TRUE(hadYesAndNo);
}

}  // namespace
}  // namespace tarvo
