#pragma once
// A message-box fake that records every box shown and answers from a script.

#include <deque>
#include <string>
#include <vector>

#include "common/Dialogs.h"

namespace qv::test {

struct ShownBox {
    std::string text;
    MsgIcon icon;
    MsgButtons buttons;
    bool defaultNo;
};

class RecordingDialogs : public Dialogs {
public:
    std::vector<ShownBox> shown;
    std::deque<MsgAnswer> answers;  // consumed in order; Ok/No when empty

    MsgAnswer MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                     bool defaultNo) override {
        shown.push_back({text, icon, buttons, defaultNo});
        if (!answers.empty()) {
            MsgAnswer a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::No;
    }
};

}  // namespace qv::test
