#pragma once
// The modal message box through which the program talks to the user.
// The portable core asks through this port; the application answers it with
// a real message box, tests with a recording fake.

#include <string>

namespace qv {

// What a message is, shown as the box's icon.
enum class MessageKind { Plain, Error, Warning, Question, Information };
// The answers to a question; also names a question's default button.
enum class Answer { Yes, No };

// The caption every message box of the program carries.
inline constexpr const char* kAppTitle = "Quorvane";

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows `text` modally with an OK button; returns once it is closed.
    virtual void Tell(const std::string& text, MessageKind kind) = 0;
    // Asks `question` modally with Yes and No, `defaultAnswer` the default
    // button, and returns the answer; a box closed unanswered is No.
    virtual Answer Ask(const std::string& question, MessageKind kind, Answer defaultAnswer) = 0;
};

}  // namespace qv
