#pragma once
// Drives the program's modal windows from a Qt test: the program sits in a
// window's exec(), and the action given here runs from that window's own
// event loop once the window is up.
//
//   tgxtest::WhenModalIs<TEditDlg>([](TEditDlg* dlg) { dlg->SetText("x"); dlg->accept(); });
//   tgx::MainWindow()->EditTitle();          // returns after the accept

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace tgxtest {

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
  QElapsedTimer clock;
  clock.start();
  timer->setInterval(periodMs);
  QObject::connect(timer, &QTimer::timeout, [timer, clock, action = std::move(action), timeoutMs] {
    QWidget* modal = QApplication::activeModalWidget();
    const bool done = modal && modal->isVisible() && action(modal);
    if (!done && clock.elapsed() <= timeoutMs) return;
    timer->stop();
    timer->deleteLater();
    if (!done && modal) QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
  });
  timer->start();
}

// The same for the first modal window of class T: `action` runs once on it.
template <typename T, typename Action>
void WhenModalIs(Action action, int timeoutMs = 10000) {
  WhenModal([action](QWidget* w) mutable {
    T* window = qobject_cast<T*>(w);
    if (window) action(window);
    return window != nullptr;
  }, timeoutMs);
}

}  // namespace tgxtest
