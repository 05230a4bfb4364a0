#pragma once
// The message-box port answered with real Qt message boxes.

#include <QPointer>
#include <QWidget>

#include "common/Dialogs.h"

namespace qv {

class QtDialogs : public Dialogs {
public:
    // Boxes are modal to `parent` (may be null).
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    MsgAnswer MsgBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                     bool defaultNo = false) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace qv
