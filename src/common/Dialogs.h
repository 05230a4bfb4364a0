#pragma once
// The modal message box through which the program talks to the user.
// The portable core asks through this port; the application answers it with
// a real message box, tests with a recording fake.

#include <string>

namespace qv {

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

// The caption every message box of the program carries.
inline constexpr const char* kAppTitle = "Quorvane";

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows `text` modally and returns the button the user chose. With YesNo,
    // `defaultNo` makes No the default button.
    virtual MsgAnswer MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                             bool defaultNo = false) = 0;
};

}  // namespace qv
