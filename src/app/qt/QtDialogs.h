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
    void Tell(const std::string& text, MessageKind kind) override;
    Answer Ask(const std::string& question, MessageKind kind, Answer defaultAnswer) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace qv
