#pragma once
// GuiThread over Qt: work is posted as a queued call to an object that lives
// on the GUI thread; nothing runs once that object is gone.

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <utility>

#include "app/core/GuiThread.h"

namespace qv {

class QtGuiThread final : public GuiThread {
public:
    // `context` lives on the GUI thread (the main window).
    explicit QtGuiThread(QObject* context) : context_(context) {}

    void Post(std::function<void()> work) override {
        QObject* context = context_.data();
        if (context != nullptr) {
            QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
        }
    }

private:
    QPointer<QObject> context_;
};

}  // namespace qv
