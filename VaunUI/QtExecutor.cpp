#include "QtExecutor.h"

#include <QMetaObject>

namespace vaun {

void QtExecutor::post(std::function<void()> work) {
    QMetaObject::invokeMethod(&context_, std::move(work), Qt::QueuedConnection);
}

} // namespace vaun
