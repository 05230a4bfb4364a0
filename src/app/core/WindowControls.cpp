#include "app/core/WindowControls.h"

namespace qv {
namespace {

using K = ControlKind;
using C = Control;

constexpr std::array<ControlRow, kControlCount> kControls{{
    {C::ModeTabs, "modeTabs", K::Tabs, Page::Window, "", {8, 8, 394, 336}, ""},
    {C::RunPage, "runPage", K::Page, Page::Window, "", {10, 36, 390, 306}, ""},
    {C::LearnPage, "learnPage", K::Page, Page::Window, "", {10, 36, 390, 306}, ""},
    // run mode
    {C::ReceiveListLabel,
     "receiveListLabel",
     K::Label,
     Page::Run,
     "レシーブ リスト",
     {10, 8, 200, 20},
     ""},
    {C::ReceiveList, "receiveList", K::ReceiveLog, Page::Run, "", {10, 30, 370, 220}, ""},
    {C::WindowChangeTimeLabel,
     "windowChangeTimeLabel",
     K::Label,
     Page::Run,
     "ウィンドウ切替時間",
     {10, 264, 140, 24},
     ""},
    {C::WindowChangeTimeList,
     "windowChangeTimeList",
     K::ChoiceList,
     Page::Run,
     "",
     {160, 262, 100, 26},
     ""},
    // learning mode
    {C::SlotNumberLabel,
     "slotNumberLabel",
     K::Label,
     Page::Learn,
     "リモコン記憶 No.",
     {10, 10, 130, 24},
     ""},
    {C::SlotNumberBox,
     "slotNumberBox",
     K::ReadOnlyTextBox,
     Page::Learn,
     "1",
     {145, 10, 60, 24},
     ""},
    {C::PreviousSlotButton,
     "previousSlotButton",
     K::StepButton,
     Page::Learn,
     "前",
     {210, 10, 26, 24},
     "前"},
    {C::NextSlotButton,
     "nextSlotButton",
     K::StepButton,
     Page::Learn,
     "次",
     {238, 10, 26, 24},
     "次"},
    {C::CommentLabel, "commentLabel", K::Label, Page::Learn, "コメント", {10, 42, 130, 24}, ""},
    {C::CommentBox, "commentBox", K::TextBox, Page::Learn, "", {145, 42, 235, 24}, ""},
    {C::PulseLabel, "pulseLabel", K::Label, Page::Learn, "Quorvane 入力", {10, 74, 130, 24}, ""},
    // Shows the pulse; what is stored comes from capture.
    {C::PulseBox, "pulseBox", K::ReadOnlyTextBox, Page::Learn, "", {145, 74, 235, 24}, ""},
    {C::AdjustTimeLabel,
     "adjustTimeLabel",
     K::Label,
     Page::Learn,
     "連続入力防止時間",
     {10, 106, 130, 24},
     ""},
    {C::AdjustTimeList, "adjustTimeList", K::ChoiceList, Page::Learn, "", {145, 106, 100, 26}, ""},
    {C::WindowNameLabel,
     "windowNameLabel",
     K::Label,
     Page::Learn,
     "送信ウィンドウ",
     {10, 140, 130, 24},
     ""},
    {C::WindowNameBox,
     "windowNameBox",
     K::TextBox,
     Page::Learn,
     "",
     {145, 140, 173, 24},
     "キーを送るウィンドウの名前（空なら前面のウィンドウ）"},
    {C::PickWindowButton,
     "pickWindowButton",
     K::Button,
     Page::Learn,
     "選択…",
     {322, 140, 58, 24},
     "開いているウィンドウから選びます"},
    {C::KeyListLabel,
     "keyListLabel",
     K::Label,
     Page::Learn,
     "送信キーリスト",
     {10, 172, 130, 24},
     ""},
    // Locked: only key capture writes it.
    {C::KeyListBox, "keyListBox", K::KeyList, Page::Learn, "", {145, 172, 235, 88}, ""},
    {C::ClearKeyListButton,
     "clearKeyListButton",
     K::Button,
     Page::Learn,
     "コマンドクリア",
     {145, 268, 115, 28},
     ""},
    {C::StoreEntryButton,
     "storeEntryButton",
     K::Button,
     Page::Learn,
     "追加 / 変更",
     {265, 268, 115, 28},
     ""},
    // the window
    {C::VersionLabel,
     "versionLabel",
     K::Label,
     Page::Window,
     "Control Chip Version",
     {12, 356, 150, 24},
     ""},
    {C::VersionBox, "versionBox", K::ReadOnlyTextBox, Page::Window, "", {165, 356, 80, 24}, ""},
    {C::LampLabel, "lampLabel", K::Label, Page::Window, "HID Indicator", {12, 392, 150, 24}, ""},
    {C::Lamp, "lamp", K::Lamp, Page::Window, "", {165, 393, 22, 22}, ""},
    {C::HideToTrayButton,
     "hideToTrayButton",
     K::Button,
     Page::Window,
     "トレイに戻す",
     {282, 388, 120, 30},
     "ウィンドウを閉じずにトレイに戻します。タイトルバーの×はプログラムを終了します（トレイの"
     "「終了」と同じ）。"},
    {C::ReceiverStatusLine,
     "receiverStatusLine",
     K::StatusLine,
     Page::Window,
     "",
     {12, 422, 390, 22},
     ""},
}};

// The table is in Control order: a row's place is its role's number.
constexpr bool InControlOrder() {
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        if (static_cast<std::size_t>(kControls[i].control) != i) {
            return false;
        }
    }
    return true;
}
static_assert(InControlOrder(), "every control has its row, in Control order");

}  // namespace

std::span<const ControlRow> WindowControls() {
    return kControls;
}

const ControlRow& Row(Control control) {
    return kControls[static_cast<std::size_t>(control)];
}

}  // namespace qv
