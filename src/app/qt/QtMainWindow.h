#pragma once
// The program's window on Qt: builds the controls with their names and
// captions, forwards their events to the application core and shows what the
// core tells it. It holds no logic of its own beyond Qt's mechanics (auto-
// repeat releases, the frame that the window manager adds after showing).

#include <QWidget>

#include <cstdint>

#include "app/core/MainView.h"
#include "app/qt/QtDialogs.h"

class QComboBox;
class QFrame;
class QKeyEvent;
class QLineEdit;
class QPlainTextEdit;
class QTabBar;

namespace qv {

class Application;
class KeyboardLayout;
class ShapeLamp;

// Lines kept in the receive list; older lines scroll away.
inline constexpr int kReceiveListMaxLines = 10000;

class QtMainWindow final : public QWidget, public MainView {
public:
    explicit QtMainWindow(QWidget* parent = nullptr);
    ~QtMainWindow() override;

    // The core that the window's events go to (not owned; nullptr: nowhere).
    void Bind(Application* app) { app_ = app; }
    // The layout key capture reads keys with (not owned; nullptr: Qt's keys
    // read as on a US layout).
    void SetKeyboardLayout(KeyboardLayout* layout) { layout_ = layout; }

    // MainView
    void Tell(const std::string& text, MessageKind kind) override;
    Answer Ask(const std::string& question, MessageKind kind, Answer defaultAnswer) override;
    void HideOffScreen() override;
    void LayOutPages() override;
    void FillTimeLists(const std::vector<std::string_view>& adjustTimeItems,
                       const std::vector<std::string_view>& windowChangeTimeItems) override;
    void SelectTab(int tab) override;
    void ShowPage(int tab) override;
    void SetLamp(bool green) override;
    void SetVersionText(const std::string& text) override;
    void AppendReceiveLine(const std::string& line) override;
    int WindowChangeTimeIndex() override;
    void SetWindowChangeTimeIndex(int index) override;
    std::string SlotNumberText() override;
    void SetSlotNumberText(const std::string& text) override;
    std::string CommentText() override;
    void SetCommentText(const std::string& text) override;
    void SetPulseText(const std::string& text) override;
    int AdjustTimeIndex() override;
    void SetAdjustTimeIndex(int index) override;
    std::string WindowNameText() override;
    void SetWindowNameText(const std::string& text) override;
    std::string KeyListText() override;
    void SetKeyListText(const std::string& text) override;
    void AppendKeyListLine(const std::string& line) override;
    bool IsVisible() override { return isVisible(); }
    void SetVisible(bool visible) override;
    bool IsMinimizedOrMaximized() override;
    void SetNormalState() override;
    void EndOffScreenParking() override;
    void MoveTo(int x, int y) override;
    bool ConfigChecked() override { return configChecked_; }
    void SetConfigChecked(bool checked) override { configChecked_ = checked; }
    void Quit() override;

    // The receive list's text with CR LF line ends (for the program's checks and tests).
    std::string ReceiveListText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();

    std::int16_t CapturedKeyCode(const QKeyEvent& key) const;

    Application* app_ = nullptr;
    KeyboardLayout* layout_ = nullptr;
    QtDialogs dialogs_;
    bool configChecked_ = false;
    bool receiveListStarted_ = false;  // a line was appended (it may be empty)

    QTabBar* modeTabs_ = nullptr;
    QFrame* pageArea_ = nullptr;
    QWidget* pages_[2] = {nullptr, nullptr};
    QPlainTextEdit* receiveList_ = nullptr;
    QComboBox* windowChangeTimeList_ = nullptr;
    QLineEdit* slotNumberBox_ = nullptr;
    QLineEdit* commentBox_ = nullptr;
    QLineEdit* pulseBox_ = nullptr;
    QComboBox* adjustTimeList_ = nullptr;
    QLineEdit* windowNameBox_ = nullptr;
    QPlainTextEdit* keyListBox_ = nullptr;
    QLineEdit* versionBox_ = nullptr;
    ShapeLamp* lamp_ = nullptr;
};

}  // namespace qv
