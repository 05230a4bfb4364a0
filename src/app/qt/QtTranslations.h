#pragma once
// Qt's own texts in the desktop's language.

class QApplication;

namespace qv {

// Loads Qt's translation of its own texts (the standard buttons of message
// boxes and the like) for the user's locale and installs it in `app`, so a
// Japanese desktop shows はい/いいえ where Qt would write Yes/No, as a
// Japanese Windows does. The program's own texts are not touched. Without a
// translation for the locale (English needs none) nothing changes. Call once,
// right after the QApplication is made.
void LoadQtTranslations(QApplication& app);

}  // namespace qv
