#include "app/core/EntryEditor.h"

#include <algorithm>
#include <mutex>

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
    : mView(view), mDialogs(dialogs), mIni(ini), mShared(shared), mCapture(capture) {}

void EntryEditor::SelectMode(int selectedTab) {
    mView.ShowPage(selectedTab);
    // The receive loop reads the mode from here at its next tick.
    mShared.selectedTab.store(selectedTab);
}

void EntryEditor::PulseCaptured(const std::string& pulseText) {
    mPulseText = pulseText;
    mView.SetPulseText(pulseText);
}

void EntryEditor::StoreEntry() {
    if (mPulseText.empty()) {
        mDialogs.Tell(kMsgNoPulse, MessageKind::Warning);
        return;
    }
    const std::string number = mView.SlotNumberText();
    const std::string section = "Remote" + number;
    if (!IniRead(mIni, section, "Pulse", "").empty()) {
        if (mDialogs.Ask(kMsgOverwrite, MessageKind::Question, Answer::No) != Answer::Yes) {
            return;
        }
    }
    // Pulses captured while the question was open have replaced mPulseText:
    // what is saved is the one current now.
    const std::string pulse = mPulseText;
    const std::string comment = mView.CommentText();
    const int adjustTime = std::max(0, mView.AdjustTimeIndex());
    const std::string windowName = mView.WindowNameText();
    const std::string keyList = EditorToStoredKeyList(mView.KeyListText());

    // The five keys go to the file in one replacement: a failure leaves the
    // slot as it was, never half stored.
    const bool written = IniWriteKeys(mIni, section,
                                      {{"Pulse", pulse},
                                       {"Comment", comment},
                                       {"AdjustTime", std::to_string(adjustTime)},
                                       {"WindowName", windowName},
                                       {"KeyList", keyList}});
    if (!written) {
        // The table follows the file: what is not on disk does not fire either.
        mDialogs.Tell(kMsgWriteFailed, MessageKind::Error);
        return;
    }
    const std::lock_guard lock(mShared.remoteLock);
    if (!mShared.remote.SetRemoteEntry(number, comment, pulse, 0, adjustTime, windowName,
                                       keyList)) {
        DebugLog("slot number " + number + " is outside the table");
    }
}

void EntryEditor::StepSlot(SlotStep step) {
    const std::string number = mView.SlotNumberText();
    const int n = RoundHalfEven(LeadingNumber(number));
    if (step == SlotStep::Next) {
        if (IniRead(mIni, "Remote" + number, "Pulse", "").empty() || n >= kMaxSlot) {
            return;
        }
        mView.SetSlotNumberText(std::to_string(n + 1));
    } else {
        if (n <= 1) {
            return;
        }
        mView.SetSlotNumberText(std::to_string(n - 1));
    }
    ShowSlot();
}

void EntryEditor::ShowSlot() {
    // Browsing reads the file, not the table; one read serves the slot.
    const LoadedIni loaded = mIni.Load();
    const IniFile& file = loaded.file;
    const std::string section = "Remote" + mView.SlotNumberText();
    mView.SetCommentText(IniRead(file, section, "Comment", ""));
    mView.SetAdjustTimeIndex(
        AdjustTimeIndex(LeadingNumber(IniRead(file, section, "AdjustTime", ""))));
    mPulseText = IniRead(file, section, "Pulse", "");
    mView.SetPulseText(mPulseText);
    mView.SetWindowNameText(IniRead(file, section, "WindowName", ""));
    ClearKeyList();
    mView.SetKeyListText(StoredToEditorKeyList(IniRead(file, section, "KeyList", "")));
}

void EntryEditor::ClearKeyList() {
    mView.SetKeyListText("");
    mCapture.ClearKeyState();
}

}  // namespace qv
