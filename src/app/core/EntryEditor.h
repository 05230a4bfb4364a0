#pragma once
// The entry editor on the learning page: the tab switch, the store command
// ("追加 / 変更"), the step buttons that browse the stored slots, and the clear
// command ("コマンドクリア"). It reads and writes the configuration file and
// keeps the remote table in step with it. GUI thread only.

#include <string>

namespace qv {

class Dialogs;
class IniStore;
class KeyCapture;
class MainView;
struct SharedState;

inline constexpr const char* kMsgWriteFailed = "設定ファイルへの書き込みに失敗しました。";
inline constexpr const char* kMsgNoPulse = "パルスデータが存在しません。";
inline constexpr const char* kMsgOverwrite = "既に記録されています。上書きしますか？";

// Where the step buttons go from the shown slot.
enum class SlotStep { Next, Previous };

class EntryEditor {
public:
    // None owned; all must outlive the editor. `dialogs` shows the store
    // command's questions (the window's boxes, with the exit held meanwhile).
    EntryEditor(MainView& view, Dialogs& dialogs, IniStore& ini, SharedState& shared,
                KeyCapture& capture);

    // The user (or start-up) selected tab 1 (run mode) or 2 (learning mode).
    void SelectMode(int selectedTab);
    // Stores the captured pulse with the editor's fields in the shown slot
    // (asking first when the slot holds one).
    void StoreEntry();
    // Shows the next slot (only past a stored one) or the previous slot.
    void StepSlot(SlotStep step);
    // Empties the key list and forgets which keys are held.
    void ClearKeyList();
    // Learning mode captured a pulse.
    void PulseCaptured(const std::string& pulseText);

    // What the store command saves (pulseText_).
    const std::string& PulseText() const { return pulseText_; }

private:
    void ShowSlot();

    MainView& view_;
    Dialogs& dialogs_;
    IniStore& ini_;
    SharedState& shared_;
    KeyCapture& capture_;
    std::string pulseText_;
};

}  // namespace qv
