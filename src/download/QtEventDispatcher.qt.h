#pragma once

#include <QMetaObject>
#include <QObject>
#include <functional>
#include <utility>

#include "components/TransferEvents.h"

namespace tvk {

// Delivers a transfer's events through the Qt event loop of `context`'s
// thread, in the order posted. Safe to call from any thread; calls still
// queued when `context` is destroyed are dropped.
class QtEventDispatcher : public EventDispatcher {
  public:
    explicit QtEventDispatcher(QObject& context) : context_(&context) {}

    void Post(std::function<void()> call) override {
        QMetaObject::invokeMethod(context_, std::move(call), Qt::QueuedConnection);
    }

  private:
    QObject* context_;
};

}  // namespace tvk
