#pragma once
// The program's window on Qt: builds its controls from the window's control
// table (WindowControls.h) with their names, captions and places, forwards
// their commands to the application core and shows what the core tells it.
// It holds no logic of its own beyond Qt's mechanics (auto-repeat releases,
// the frame that the window manager adds after showing, keeping the first
// captured key in view).

#include <QPointer>
#include <QWidget>

#include <array>
#include <cstdint>

#include "app/core/MainView.h"
#include "app/qt/QtDialogs.h"

class QComboBox;
class QKeyEvent;
class QMenu;
class QPlainTextEdit;

namespace qv {

class Application;
class KeyboardLayout;

// Lines kept in the receive list; older lines scroll away.
inline constexpr int kReceiveListMaxLines = 10000;

class QtMainWindow final : public QWidget, public MainView {
public:
    explicit QtMainWindow(QWidget* parent = nullptr);
    ~QtMainWindow() override;

    // The core that the window's commands go to (not owned; nullptr: nowhere).
    void Bind(Application* app) { app_ = app; }
    // The layout key capture reads keys with (not owned; nullptr: Qt's keys
    // read as on a US layout).
    void SetKeyboardLayout(KeyboardLayout* layout) { layout_ = layout; }
    // The control of a role (its widget; a tab strip's row of tabs).
    QWidget* Widget(Control control) const { return widgets_[Index(control)]; }
    // The list of windows offered by "選択…" while it is open; nullptr otherwise.
    QMenu* WindowChoices() const;

    // MainView
    void Tell(const std::string& text, MessageKind kind) override;
    Answer Ask(const std::string& question, MessageKind kind, Answer defaultAnswer) override;
    std::string Text(Control control) override;
    void SetText(Control control, const std::string& text) override;
    void AppendLine(Control control, const std::string& line) override;
    void SetItems(Control list, const std::vector<std::string_view>& items) override;
    int SelectedIndex(Control list) override;
    void SelectIndex(Control list, int index) override;
    void SelectTab(int tab) override;
    void ShowPage(int tab) override;
    void ShowReceiverStatus(const ReceiverStatus& status) override;
    bool IsOwnWindow(const ListedWindow& window) override;
    void ShowWindowChoices(const std::vector<ListedWindow>& windows) override;
    bool IsVisible() override { return isVisible(); }
    void SetVisible(bool visible) override;
    bool IsMinimizedOrMaximized() override;
    void SetNormalState() override;
    void MoveTo(int x, int y) override;
    void Quit() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    static std::size_t Index(Control control) { return static_cast<std::size_t>(control); }
    void CreateControls();
    void Connect(const ControlRow& row);
    QComboBox* List(Control control) const;
    QPlainTextEdit* Lines(Control control) const;
    void AppendReceiveLine(const std::string& line);
    void AppendKeyListLine(const std::string& line);
    std::int16_t CapturedKeyCode(const QKeyEvent& key) const;

    Application* app_ = nullptr;
    KeyboardLayout* layout_ = nullptr;
    QtDialogs dialogs_;
    bool receiveListStarted_ = false;  // a line was appended (it may be empty)
    std::array<QWidget*, kControlCount> widgets_{};
    QPointer<QMenu> choices_;
};

}  // namespace qv
