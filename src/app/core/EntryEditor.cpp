#include "app/core/EntryEditor.h"

#include <algorithm>
#include <optional>

#include "app/core/KeyCapture.h"
#include "app/core/MainView.h"
#include "app/core/SharedState.h"
#include "common/DebugLog.h"
#include "config/Settings.h"
#include "config/TimeLists.h"
#include "keys/KeyNames.h"

namespace qv {

EntryEditor::EntryEditor(MainView& view, Dialogs& dialogs, IniStore& ini, SharedState& shared,
                         KeyCapture& capture)
    : view_(view), dialogs_(dialogs), ini_(ini), shared_(shared), capture_(capture) {}

void EntryEditor::SelectMode(int selectedTab) {
    view_.ShowPage(selectedTab);
    // The receive loop reads the mode from here at its next tick.
    shared_.selectedTab.store(selectedTab);
}

void EntryEditor::PulseCaptured(const std::string& pulseText) {
    pulseText_ = pulseText;
    view_.SetPulseText(pulseText);
}

void EntryEditor::StoreEntry() {
    if (pulseText_.empty()) {
        dialogs_.Tell(kMsgNoPulse, MessageKind::Warning);
        return;
    }
    const std::string number = view_.SlotNumberText();
    const std::string section = "Remote" + number;
    if (!IniRead(ini_, section, "Pulse", "").empty()) {
        if (dialogs_.Ask(kMsgOverwrite, MessageKind::Question, Answer::No) != Answer::Yes) {
            return;
        }
    }
    // Pulses captured while the question was open have replaced pulseText_:
    // what is saved is the one current now.
    const std::string pulse = pulseText_;
    const std::string comment = view_.CommentText();
    const int adjustTime = std::max(0, view_.AdjustTimeIndex());
    const std::string windowName = view_.WindowNameText();
    const std::string keyList = EditorToStoredKeyList(view_.KeyListText());

    // The five keys go to the file in one replacement: a failure leaves the
    // slot as it was, never half stored.
    const bool written = IniWriteKeys(ini_, section,
                                      {{"Pulse", pulse},
                                       {"Comment", comment},
                                       {"AdjustTime", std::to_string(adjustTime)},
                                       {"WindowName", windowName},
                                       {"KeyList", keyList}});
    if (!written) {
        // The table follows the file: what is not on disk does not fire either.
        dialogs_.Tell(kMsgWriteFailed, MessageKind::Error);
        return;
    }
    RemoteEntry entry;
    entry.comment = comment;
    ParsePulseText(pulse, entry);
    entry.adjustTime = AdjustValue(adjustTime);
    entry.windowName = windowName;
    entry.keyList = KeyList(keyList);
    const std::optional<int> slot = SlotNumber(number);
    if (!slot || !shared_.remote.Store(*slot, entry)) {
        DebugLog("slot number " + number + " is outside the table");
    }
}

void EntryEditor::StepSlot(SlotStep step) {
    const std::string number = view_.SlotNumberText();
    const int n = RoundHalfEven(LeadingNumber(number));
    if (step == SlotStep::Next) {
        if (IniRead(ini_, "Remote" + number, "Pulse", "").empty() || n >= kMaxSlot) {
            return;
        }
        view_.SetSlotNumberText(std::to_string(n + 1));
    } else {
        if (n <= 1) {
            return;
        }
        view_.SetSlotNumberText(std::to_string(n - 1));
    }
    ShowSlot();
}

void EntryEditor::ShowSlot() {
    // Browsing reads the file, not the table; one read serves the slot.
    const LoadedIni loaded = ini_.Load();
    const IniFile& file = loaded.file;
    const std::string section = "Remote" + view_.SlotNumberText();
    view_.SetCommentText(IniRead(file, section, "Comment", ""));
    view_.SetAdjustTimeIndex(
        AdjustTimeIndex(LeadingNumber(IniRead(file, section, "AdjustTime", ""))));
    pulseText_ = IniRead(file, section, "Pulse", "");
    view_.SetPulseText(pulseText_);
    view_.SetWindowNameText(IniRead(file, section, "WindowName", ""));
    ClearKeyList();
    view_.SetKeyListText(StoredToEditorKeyList(IniRead(file, section, "KeyList", "")));
}

void EntryEditor::ClearKeyList() {
    view_.SetKeyListText("");
    capture_.ClearKeyState();
}

}  // namespace qv
