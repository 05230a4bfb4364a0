// The Qt window over the application core: controls with their names and
// captions, key events turned into key capture, the window's visibility,
// message boxes that a termination closes, the overwrite question in the
// desktop's language, and a pressed button reaching the receive list through
// the real receiver thread and Qt's queued calls.
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "CoreFakes.h"
#include "Simulator.h"
#include "TempDir.h"
#include "app/core/Application.h"
#include "app/qt/QtGuiThread.h"
#include "app/qt/QtMainWindow.h"
#include "app/qt/QtTranslations.h"
#include "app/qt/ShapeLamp.h"
#include "config/IniStore.h"
#include "config/Settings.h"
#include "config/linux/IconvTextCodec.h"
#include "config/linux/PosixConfigFiles.h"

namespace qv::test {
namespace {

class QtWindow : public ::testing::Test {
protected:
    void SetUp() override {
        hid = simulator.MakeHidPort();
        events = simulator.MakeDeviceEvents();
        ini = std::make_unique<IniStore>(std::make_unique<IconvTextCodec>(),
                                         std::make_unique<PosixConfigFiles>());
        ini->SetIniPath(dir.File("Quorvane.ini"));
        form = std::make_unique<QtMainWindow>();
        gui = std::make_unique<QtGuiThread>(form.get());
        app = std::make_unique<Application>(
            AppPorts{*form, *gui, *ini, *hid, *events, injector, windows, tray, geometry, clock});
        form->Bind(app.get());
    }
    void TearDown() override {
        app->Unload();
        form->Bind(nullptr);
        app.reset();
        form.reset();
    }
    // Runs the event loop until `done` holds; false if it never does (a hang).
    static bool ProcessUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 2000 && !done(); ++i) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
            QTest::qWait(5);
        }
        return done();
    }
    template <typename T>
    T* Child(const char* name) {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    std::string KeyList() { return form->Text(Control::KeyListBox); }
    void Key(QEvent::Type type, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
             bool autoRepeat = false) {
        QKeyEvent event(type, key, mods, QString(), autoRepeat);
        QApplication::sendEvent(Child<QPlainTextEdit>("keyListBox"), &event);
    }

    TempDir dir;
    sim::Simulator simulator;
    std::unique_ptr<HidPort> hid;
    std::unique_ptr<DeviceEvents> events;
    std::unique_ptr<IniStore> ini;
    RecordingInjector injector;
    FakeWindows windows;
    FakeTrayIcon tray;
    FixedGeometry geometry;
    SteadyClock clock;  // the core runs its own receiver thread and poll timer
    std::unique_ptr<QtMainWindow> form;
    std::unique_ptr<QtGuiThread> gui;
    std::unique_ptr<Application> app;
};

TEST_F(QtWindow, ControlsCarryTheirNamesAndCaptions) {
    EXPECT_EQ(form->windowTitle(), "Quorvane");
    const std::pair<const char*, const char*> labels[] = {
        {"receiveListLabel", "レシーブ リスト"},  {"windowChangeTimeLabel", "ウィンドウ切替時間"},
        {"slotNumberLabel", "リモコン記憶 No."},  {"commentLabel", "コメント"},
        {"pulseLabel", "Quorvane 入力"},          {"adjustTimeLabel", "連続入力防止時間"},
        {"windowNameLabel", "送信ウィンドウ"},    {"keyListLabel", "送信キーリスト"},
        {"versionLabel", "Control Chip Version"}, {"lampLabel", "HID Indicator"},
    };
    for (const auto& [name, caption] : labels) {
        auto* label = Child<QLabel>(name);
        ASSERT_NE(label, nullptr) << name;
        EXPECT_EQ(label->text(), QString::fromUtf8(caption)) << name;
    }
    auto* tabs = Child<QTabBar>("modeTabs");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->tabText(0), QString::fromUtf8("パルス待ち"));
    EXPECT_EQ(tabs->tabText(1), QString::fromUtf8("パルス記憶"));
    EXPECT_EQ(Child<QPushButton>("clearKeyListButton")->text(),
              QString::fromUtf8("コマンドクリア"));
    EXPECT_EQ(Child<QPushButton>("storeEntryButton")->text(), QString::fromUtf8("追加 / 変更"));
    EXPECT_EQ(Child<QPushButton>("hideToTrayButton")->text(), QString::fromUtf8("トレイに戻す"));
    EXPECT_TRUE(Child<QLineEdit>("slotNumberBox")->isReadOnly());
    EXPECT_TRUE(Child<QPlainTextEdit>("keyListBox")->isReadOnly());
    EXPECT_EQ(Child<QPlainTextEdit>("receiveList")->parentWidget(), Child<QWidget>("runPage"));
    EXPECT_EQ(Child<QPlainTextEdit>("keyListBox")->parentWidget(), Child<QWidget>("learnPage"));
}

TEST_F(QtWindow, EveryRowOfTheControlTableIsAWidgetAtItsPlace) {
    for (const ControlRow& row : WindowControls()) {
        SCOPED_TRACE(std::string(row.name));
        QWidget* widget = form->findChild<QWidget*>(
            QString::fromLatin1(row.name.data(), static_cast<qsizetype>(row.name.size())));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget, form->Widget(row.control));
        const QWidget* expectedParent = row.page == Page::Run     ? Child<QWidget>("runPage")
                                        : row.page == Page::Learn ? Child<QWidget>("learnPage")
                                                                  : form.get();
        EXPECT_EQ(widget->parentWidget(), expectedParent);
        if (row.kind != ControlKind::Tabs) {
            EXPECT_EQ(widget->geometry(),
                      QRect(row.place.left, row.place.top, row.place.width, row.place.height));
        }
        if (!row.toolTip.empty() && row.kind != ControlKind::Lamp) {
            EXPECT_EQ(widget->toolTip().toStdString(), row.toolTip);
        }
    }
    EXPECT_EQ(form->size(), QSize(kClientWidth, kClientHeight));
    EXPECT_EQ(Child<QPushButton>("pickWindowButton")->text(), QString::fromUtf8("選択…"));
}

TEST_F(QtWindow, ThePickerOffersTheOtherWindowsAndTheChoiceFillsTheStillEditableField) {
    windows.Add(11, "Navigator", ShowState::Normal, "Mozilla Firefox");
    windows.Add(12, QCoreApplication::applicationName().toStdString(), ShowState::Normal,
                "Quorvane");
    windows.Add(13, "Notepad", ShowState::Normal, "無題 - メモ帳");
    app->Load();
    app->ToggleWindow();
    Child<QTabBar>("modeTabs")->setCurrentIndex(1);
    auto* field = Child<QLineEdit>("windowNameBox");
    EXPECT_FALSE(field->isReadOnly());
    Child<QPushButton>("pickWindowButton")->click();
    ASSERT_TRUE(ProcessUntil([&] { return form->WindowChoices() != nullptr; }));
    QMenu* menu = form->WindowChoices();
    const QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 2) << "the program's own window is left out";
    EXPECT_TRUE(actions[0]->text().startsWith("Navigator"));
    EXPECT_TRUE(actions[0]->text().contains("Mozilla Firefox"));
    EXPECT_TRUE(actions[1]->text().startsWith("Notepad"));
    EXPECT_TRUE(actions[1]->text().contains(QString::fromUtf8("無題 - メモ帳")));
    actions[1]->trigger();
    EXPECT_EQ(field->text(), QString("Notepad"));
    menu->close();
    // The field stays the user's to type in.
    field->setText("xterm");
    EXPECT_EQ(form->Text(Control::WindowNameBox), "xterm");
}

TEST_F(QtWindow, CaptureKeepsTheFirstKeyInViewWhileTheLinesFitAndShowsTheNewest) {
    app->Load();
    app->ToggleWindow();
    Child<QTabBar>("modeTabs")->setCurrentIndex(1);
    auto* box = Child<QPlainTextEdit>("keyListBox");
    const int lineHeight = box->fontMetrics().lineSpacing();
    const int viewHeight = box->viewport()->height();
    const int keys[] = {Qt::Key_Control, Qt::Key_Shift, Qt::Key_A, Qt::Key_B};
    int lines = 0;
    int fittingChecked = 0;
    for (const int key : keys) {
        for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            Key(type, key);
            ++lines;
            QApplication::processEvents();
            SCOPED_TRACE("after line " + std::to_string(lines));
            // The newest line is in view, down to its baseline at least.
            QTextCursor end(box->document());
            end.movePosition(QTextCursor::End);
            const QRect newest = box->cursorRect(end);
            EXPECT_GE(newest.top(), 0);
            EXPECT_LE(newest.top() + box->fontMetrics().ascent(), viewHeight);
            // While the lines fit into the box's height, the first is the first shown.
            if (lines * lineHeight <= viewHeight) {
                EXPECT_EQ(box->cursorForPosition(QPoint(2, 2)).blockNumber(), 0);
                EXPECT_EQ(box->verticalScrollBar()->value(), 0);
                ++fittingChecked;
            }
        }
    }
    EXPECT_EQ(lines, 8);
    EXPECT_GE(fittingChecked, 3) << "the box shows several lines at once";
    EXPECT_EQ(KeyList(), "D[CTRL]\r\nU[CTRL]\r\nD[SHIFT]\r\nU[SHIFT]\r\nDA\r\nUA\r\nDB\r\nUB");
}

TEST_F(QtWindow, StartUpFillsTheListsHidesTheWindowAndShowsTheReceiver) {
    app->Load();
    EXPECT_FALSE(form->isVisible());
    auto* adjust = Child<QComboBox>("adjustTimeList");
    EXPECT_EQ(adjust->count(), 6);
    EXPECT_EQ(adjust->currentIndex(), -1);
    EXPECT_EQ(Child<QComboBox>("windowChangeTimeList")->currentText(), QString::fromUtf8("0秒"));
    EXPECT_TRUE(Child<QWidget>("runPage")->isEnabled());
    EXPECT_FALSE(Child<QWidget>("learnPage")->isEnabled());
    ASSERT_TRUE(ProcessUntil([&] { return Child<QLineEdit>("versionBox")->text() == "1.05"; }));
    // A tab click reaches the core: learning mode.
    Child<QTabBar>("modeTabs")->setCurrentIndex(1);
    EXPECT_EQ(app->Shared().selectedTab.load(), 2);
    EXPECT_TRUE(Child<QWidget>("learnPage")->isEnabled());
    // And the window-switch time list.
    Child<QComboBox>("windowChangeTimeList")->setCurrentIndex(4);
    EXPECT_EQ(app->Shared().windowChangeTimeIndex.load(), 4);
}

TEST_F(QtWindow, APressedButtonReachesTheReceiveListThroughTheReceiverThread) {
    ini->WriteKeys("Remote1", {{"Pulse", "12,34,56"}, {"Comment", "決定"}, {"KeyList", "DA, UA"}});
    app->Load();
    simulator.Press({12, 34, 56});
    ASSERT_TRUE(ProcessUntil([&] { return !form->Text(Control::ReceiveList).empty(); }));
    EXPECT_EQ(form->Text(Control::ReceiveList), "決定\r\n");
    auto* list = Child<QPlainTextEdit>("receiveList");
    EXPECT_EQ(list->textCursor().position(), list->document()->characterCount() - 1);
}

TEST_F(QtWindow, HoldingAKeyUntilItRepeatsGivesOnePressAndOneRelease) {
    app->Load();
    Child<QTabBar>("modeTabs")->setCurrentIndex(1);  // the editor's page
    Key(QEvent::KeyPress, Qt::Key_A);
    for (int i = 0; i < 3; ++i) {  // X11 frames each repetition with a release
        Key(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, true);
        Key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, true);
    }
    Key(QEvent::KeyRelease, Qt::Key_A);
    EXPECT_EQ(KeyList(), "DA\r\nUA");
    QTest::keyClick(Child<QPlainTextEdit>("keyListBox"), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(KeyList(), "DA\r\nUA\r\nD[CTRL]\r\nDC\r\nUC\r\nU[CTRL]");
    Child<QPushButton>("clearKeyListButton")->click();
    EXPECT_TRUE(KeyList().empty());
    Key(QEvent::KeyPress, Qt::Key_5, Qt::KeypadModifier);
    Key(QEvent::KeyPress, Qt::Key_F5);
    Key(QEvent::KeyPress, Qt::Key_Semicolon);
    Key(QEvent::KeyPress, Qt::Key_Henkan);
    EXPECT_EQ(KeyList(), "D[NUMPAD5]\r\nD[F5]\r\nD[186]\r\nD[CONVERT]");
}

TEST_F(QtWindow, TabEnterEscapeAndBackspaceAreCapturedWithoutSideEffects) {
    app->Load();
    app->ToggleWindow();
    auto* box = Child<QPlainTextEdit>("keyListBox");
    Child<QTabBar>("modeTabs")->setCurrentIndex(1);
    box->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(box->hasFocus());
    for (const int key : {Qt::Key_Tab, Qt::Key_Return, Qt::Key_Escape, Qt::Key_Backspace}) {
        QTest::keyClick(box, static_cast<Qt::Key>(key));
    }
    EXPECT_TRUE(box->hasFocus());
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(app->Unloaded());
    EXPECT_EQ(KeyList(),
              "D[TAB]\r\nU[TAB]\r\nD[RETURN]\r\nU[RETURN]\r\nD[ESCAPE]\r\nU[ESCAPE]\r\n"
              "D[BACK]\r\nU[BACK]");
}

TEST_F(QtWindow, SettingsShowsTheWindowBesideTheTaskbarAndMinimisingSendsItBack) {
    app->Load();
    app->ToggleWindow();
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(app->ConfigChecked());
    EXPECT_EQ(form->pos(), QPoint(1280 - 410, 1024 - 40 - 440));
    for (const Qt::WindowState state : {Qt::WindowMinimized, Qt::WindowMaximized}) {
        form->setWindowState(state);
        EXPECT_FALSE(form->isVisible());
        EXPECT_FALSE(app->ConfigChecked());
        app->ToggleWindow();
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(form->windowState(), Qt::WindowNoState);
        EXPECT_EQ(form->pos(), QPoint(1280 - 410, 1024 - 40 - 440));
    }
    Child<QPushButton>("hideToTrayButton")->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(app->ConfigChecked());
}

TEST_F(QtWindow, ATerminationClosesAnOpenMessageBoxAndEnds) {
    app->Load();
    Child<QTabBar>("modeTabs")->setCurrentIndex(1);
    bool boxWasOpen = false;
    QTimer::singleShot(50, [&] {
        boxWasOpen = QApplication::activeModalWidget() != nullptr;
        app->Terminate();
    });
    // No pulse: the store command's warning waits in a modal box.
    Child<QPushButton>("storeEntryButton")->click();
    EXPECT_TRUE(boxWasOpen);
    EXPECT_TRUE(app->Unloaded());
    // Clear the ending for the tests that follow.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QApplication::exec();
}

// Qt's own texts for a Japanese desktop, loaded the way the program loads
// them for the user's locale; undone when the test ends.
class JapaneseQtTexts {
public:
    JapaneseQtTexts() {
        QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
        LoadQtTranslations(*qApp);
    }
    ~JapaneseQtTexts() {
        for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
        QLocale::setDefault(QLocale::c());
    }
    JapaneseQtTexts(const JapaneseQtTexts&) = delete;
    JapaneseQtTexts& operator=(const JapaneseQtTexts&) = delete;
};

// What an open message box showed: its text and its buttons' texts, the
// default button's first.
struct ShownBox {
    QString text;
    QStringList buttons;
    QString defaultButton;
};

// Answers the next message box by clicking the button whose role is
// `answer`, after noting what the box showed.
void AnswerNextBox(ShownBox& shown, QMessageBox::StandardButton answer) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &shown, answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            return;
        }
        shown.text = box->text();
        for (QAbstractButton* button : box->buttons()) {
            shown.buttons << button->text();
        }
        if (box->defaultButton() != nullptr) {
            shown.defaultButton = box->defaultButton()->text();
        }
        if (QAbstractButton* button = box->button(answer)) {
            button->click();
        }
        poll->deleteLater();
    });
    poll->start(10);
}

TEST_F(QtWindow, TheOverwriteQuestionSaysHaiAndIieOnAJapaneseDesktop) {
    const JapaneseQtTexts japanese;
    ini->WriteKeys("Remote1", {{"Pulse", "12,34,56"}, {"Comment", "stored"}});
    app->Load();
    Child<QTabBar>("modeTabs")->setCurrentIndex(1);         // learning mode
    Child<QAbstractButton>("previousSlotButton")->click();  // back to the stored slot 1
    ASSERT_EQ(form->Text(Control::SlotNumberBox), "1");
    simulator.Press({1, 2, 3});
    ASSERT_TRUE(ProcessUntil([&] { return Child<QLineEdit>("pulseBox")->text() == "01,02,03"; }));

    ShownBox shown;
    AnswerNextBox(shown, QMessageBox::No);
    Child<QPushButton>("storeEntryButton")->click();
    EXPECT_EQ(shown.text, QString::fromUtf8("既に記録されています。上書きしますか？"));
    ASSERT_EQ(shown.buttons.size(), 2);
    // Qt's Japanese texts carry the mnemonic after the word: はい(&Y).
    std::set<std::string> words;
    for (const QString& text : shown.buttons) {
        words.insert(QString(text)
                         .remove(QStringLiteral("(&Y)"))
                         .remove(QStringLiteral("(&N)"))
                         .toStdString());
    }
    EXPECT_EQ(words, (std::set<std::string>{"はい", "いいえ"}))
        << shown.buttons.join(QStringLiteral(", ")).toStdString();
    EXPECT_TRUE(shown.defaultButton.startsWith(QString::fromUtf8("いいえ")))
        << shown.defaultButton.toStdString();
    EXPECT_EQ(IniRead(*ini, "Remote1", "Pulse", ""), "12,34,56");  // いいえ: nothing written

    // The warning without a pulse has Qt's OK, which Japanese keeps.
    Child<QAbstractButton>("nextSlotButton")->click();  // the free slot 2: no pulse
    ShownBox warning;
    AnswerNextBox(warning, QMessageBox::Ok);
    Child<QPushButton>("storeEntryButton")->click();
    EXPECT_EQ(warning.text, QString::fromUtf8("パルスデータが存在しません。"));
    EXPECT_EQ(warning.buttons.join(QStringLiteral(", ")).toStdString(), "OK");
}

TEST_F(QtWindow, TheLampItsTooltipAndTheStatusLineSayWhatThereIs) {
    sim::BusFaults faults;
    faults.firmware.errorStatus[0x1B] = 2;
    simulator.SetFaults(faults);
    auto* lamp = Child<ShapeLamp>("lamp");
    auto* line = Child<QLabel>("receiverStatusLine");
    EXPECT_EQ(lamp->FillColor(), QColor(255, 0, 0)) << "red before anything is known";
    // The start refused: one box (answered by the test), then amber.
    ShownBox shown;
    AnswerNextBox(shown, QMessageBox::Ok);
    app->Load();
    ASSERT_TRUE(ProcessUntil([&] { return lamp->FillColor() == QColor(255, 191, 0); }));
    EXPECT_TRUE(line->text().contains(QString::fromUtf8("再試行"))) << line->text().toStdString();
    EXPECT_TRUE(lamp->toolTip().contains(QString::fromUtf8("受信はまだ始まっていません")))
        << lamp->toolTip().toStdString();
    EXPECT_EQ(line->toolTip(), lamp->toolTip());

    // Unplugged: red, and the line says no receiver is there.
    simulator.SetFaults({});
    ASSERT_TRUE(simulator.Unplug().ok);
    ASSERT_TRUE(ProcessUntil([&] { return lamp->FillColor() == QColor(255, 0, 0); }));
    EXPECT_TRUE(line->text().contains(QString::fromUtf8("見つかりません")));

    // Plugged in: green, receiving.
    ASSERT_TRUE(simulator.Plug().ok);
    ASSERT_TRUE(ProcessUntil([&] { return lamp->FillColor() == QColor(0, 255, 0); }));
    EXPECT_TRUE(line->text().contains(QString::fromUtf8("受信中")));
}

}  // namespace
}  // namespace qv::test
