#pragma once
// Drives the program's modal windows from a Qt test: the program sits in a
// window's exec(), and the action given here runs from that window's own
// event loop once the window is up.
//
//   tgx::test::WhenModal([](QWidget* w) {
//     auto* dlg = qobject_cast<TEditDlg*>(w);
//     if (!dlg) return false;               // not ours yet: try again
//     dlg->SetText("x"); dlg->accept();
//     return true;                           // done: stop watching
//   });
//   PrjForm->EditTitle();                    // returns after the accept

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace tgx::test {

// The parent of every watcher, so that a test's cleanup can end the ones that
// never saw their window.
inline QObject& Watchers() {
  static QObject parent;
  return parent;
}
inline void StopWatching() {
  for (QTimer* t : Watchers().findChildren<QTimer*>(Qt::FindDirectChildrenOnly)) delete t;
}

// Polls every `periodMs` for the active modal widget and hands it to `action`
// until the action returns true or `timeoutMs` pass (then the modal widget is
// rejected, so a test fails instead of hanging).
inline void WhenModal(std::function<bool(QWidget*)> action, int timeoutMs = 10000, int periodMs = 20) {
  auto* timer = new QTimer(&Watchers());
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  timer->setInterval(periodMs);
  QObject::connect(timer, &QTimer::timeout, [timer, clock, action = std::move(action), timeoutMs] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal->isVisible() && action(modal)) {
      timer->stop();
      timer->deleteLater();
      return;
    }
    if (clock->elapsed() > timeoutMs) {
      timer->stop();
      timer->deleteLater();
      if (modal) QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
    }
  });
  timer->start();
}

}  // namespace tgx::test
