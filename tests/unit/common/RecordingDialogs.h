#pragma once
// A message-box fake that records every box shown and answers from a script.

#include <deque>
#include <string>
#include <vector>

#include "common/Dialogs.h"

namespace qv::test {

struct ShownBox {
    std::string text;
    MessageKind kind;
    bool question;         // Ask (Yes and No), not Tell (OK)
    Answer defaultAnswer;  // a question's default button
};

class RecordingDialogs : public Dialogs {
public:
    std::vector<ShownBox> shown;
    std::deque<Answer> answers;  // of the questions in order; No when empty

    void Tell(const std::string& text, MessageKind kind) override {
        shown.push_back({text, kind, false, Answer::Yes});
    }
    Answer Ask(const std::string& question, MessageKind kind, Answer defaultAnswer) override {
        shown.push_back({question, kind, true, defaultAnswer});
        if (!answers.empty()) {
            const Answer answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return Answer::No;
    }
};

}  // namespace qv::test
