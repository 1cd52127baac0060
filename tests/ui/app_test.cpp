#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <filesystem>

#include <gtest/gtest.h>

#include "app/converter_app.h"
#include "io/stop_request.h"
#include "fake_ui_services.h"
#include "test_support.h"
#include "ui/about_box.h"
#include "ui/converter_dlg.h"
#include "ui/file_filters.h"

namespace rowsmith {
namespace {

namespace fs = std::filesystem;
using test::FakeUiServices;
using test::TempDirTest;

CConverterApp& App() {
    return *static_cast<CConverterApp*>(QCoreApplication::instance());
}

// Gives the application fake services for one test.
class AppTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        saved_ = App().services();
        App().services() = fake.Make();
    }
    void TearDown() override {
        App().services() = saved_;
        App().SetSocketsLayer(MakeDefaultSocketsLayer());
        TempDirTest::TearDown();
    }

    FakeUiServices fake;

private:
    UiServices saved_;
};

class ScriptedSockets : public SocketsLayer {
public:
    ScriptedSockets(bool starts, SocketsVersion answer, int* releases)
        : starts_(starts), answer_(answer), releases_(releases) {}
    bool Start(SocketsVersion, SocketsVersion& answered) override {
        answered = answer_;
        return starts_;
    }
    void Release() override { ++*releases_; }

private:
    bool starts_;
    SocketsVersion answer_;
    int* releases_;
};

// Closes any window the start-up opens by mistake, so that such a fault
// fails the test instead of waiting for somebody to close it.
class ModalWatchdog {
public:
    ModalWatchdog() {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [] {
            if (QWidget* window = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "a window opened: " << window->windowTitle().toStdString();
                window->close();
            }
        });
        timer_.start(2000);
    }

private:
    QTimer timer_;
};

TEST_F(AppTest, ABrokenSocketsLayerEndsTheProgramWithItsMessageAndNoWindow) {
    struct Case {
        bool starts;
        SocketsVersion answer;
        int releases;
    };
    for (const Case& c : {Case{false, {1, 1}, 0}, Case{true, {2, 2}, 1}, Case{true, {1, 0}, 1}}) {
        const ModalWatchdog watchdog;
        fake.messages.clear();
        int releases = 0;
        App().SetSocketsLayer(std::make_unique<ScriptedSockets>(c.starts, c.answer, &releases));
        EXPECT_EQ(App().InitInstance(), 1);
        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_EQ(fake.messages[0].text, "Windows sockets initialization failed.");
        EXPECT_EQ(fake.messages[0].caption, QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
        EXPECT_EQ(fake.messages[0].icon, QMessageBox::Warning);
        EXPECT_EQ(fake.messages[0].owner, nullptr);
        EXPECT_EQ(releases, c.releases);
        EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
    }
}

TEST_F(AppTest, TheProgramRunsTheMainWindowUntilItClosesAndSavesOnTheWay) {
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<CConverterDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QTest::keyClicks(dialog->findChild<QLineEdit*>("1007"), "orders");
        QTest::keyClick(dialog->findChild<QLineEdit*>("1007"), Qt::Key_Return);
    });
    EXPECT_EQ(App().InitInstance(), 0);
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
    EXPECT_NE(test::ReadBytes("db.ini").find("TABLE=orders\r\n"), std::string::npos);
}

TEST_F(AppTest, TerminationClosesTheWindowAndSavesTheSettings) {
    test::WriteBytes("in.csv", std::string(20 << 20, 'x') + "\n");
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<CConverterDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QTest::keyClicks(dialog->findChild<QLineEdit*>("1000"), "in.csv");
        QTest::keyClicks(dialog->findChild<QLineEdit*>("1007"), "t");
        ::raise(SIGTERM);
    });
    EXPECT_EQ(App().InitInstance(), 128 + SIGTERM);
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
    // Closed as Escape closes: the values from before the typing are saved.
    EXPECT_TRUE(fs::exists("db.ini"));
    EXPECT_TRUE(fake.messages.empty());
    ClearStopRequest();
}

TEST_F(AppTest, F1AsksForTheHelpOfTheFocusedDialog) {
    CConverterDlg dialog(fake.Make());
    dialog.show();
    QTest::keyClick(dialog.findChild<QLineEdit*>("1005"), Qt::Key_F1);
    CAboutBox about(&dialog);
    about.show();
    QTest::keyClick(about.findChild<QPushButton*>("1"), Qt::Key_F1);

    const QString helpFile = HelpPagePath();
    EXPECT_EQ(fake.helpRequests, (std::vector<std::pair<QString, unsigned>>{{helpFile, 0x20066}, {helpFile, 0x20064}}));
    EXPECT_TRUE(fake.messages.empty());

    App().services().launchHelp = [](const QString&, unsigned) { return false; };
    QTest::keyClick(&about, Qt::Key_F1);
    ASSERT_EQ(fake.messages.size(), 1u);
    // The specified words first, then where the page is or should be.
    const QString where = QFileInfo(helpFile).isFile() ? "The help page is " : "There is no help page at ";
    EXPECT_EQ(fake.messages[0].text, "Failed to launch help.\n\n" + where + helpFile + ".");
    EXPECT_EQ(fake.messages[0].icon, QMessageBox::Warning);
}

TEST_F(AppTest, AboutBoxClosesWithEnterEscapeOkAndTheCloseBox) {
    CConverterDlg owner(fake.Make());
    owner.show();
    const std::function<void(CAboutBox&)> ways[] = {
        [](CAboutBox& about) { QTest::keyClick(&about, Qt::Key_Return); },
        [](CAboutBox& about) { QTest::keyClick(&about, Qt::Key_Escape); },
        [](CAboutBox& about) { QTest::mouseClick(about.findChild<QPushButton*>("1"), Qt::LeftButton); },
        [](CAboutBox& about) { about.close(); },
    };
    for (const auto& close : ways) {
        CAboutBox about(&owner);
        about.open();
        ASSERT_TRUE(about.isVisible());
        EXPECT_EQ(about.windowTitle(), "About Rowsmith");
        close(about);
        EXPECT_FALSE(about.isVisible());
        EXPECT_TRUE(owner.isVisible());
    }
    EXPECT_TRUE(fake.messages.empty());
}

TEST(FileFilters, TurnsFilterListsIntoQtNameFilters) {
    EXPECT_EQ(NameFiltersFromList("CSV Files (*.csv)|*.csv|Tab Delimited Files (*.tab)|*.tab|All Files (*.*)|*.*||"),
              (QStringList{"CSV Files (*.csv)", "Tab Delimited Files (*.tab)", "All Files (*)"}));
    EXPECT_EQ(NameFiltersFromList("SQL Files (*.sql)|*.sql|All Files (*.*)|*.*||"),
              (QStringList{"SQL Files (*.sql)", "All Files (*)"}));
    EXPECT_EQ(NameFiltersFromList("Text|*.txt;*.csv||"), (QStringList{"Text (*.txt *.csv)"}));
    EXPECT_EQ(NameFiltersFromList("||"), QStringList{});
    EXPECT_EQ(SuffixFromDefaultExtension("*.csv"), "csv");
    EXPECT_EQ(SuffixFromDefaultExtension("*.sql"), "sql");
    EXPECT_EQ(SuffixFromDefaultExtension("*.*"), "");
}

}  // namespace
}  // namespace rowsmith
