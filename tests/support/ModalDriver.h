#pragma once
// Drives the program's modal windows from a Qt test: the program sits in a
// window's exec(), and the action given here runs from that window's own event
// loop once the window is up.
//   tgxtest::WhenModalIs<TEditDlg>([](TEditDlg* dlg) { dlg->SetText("x"); dlg->accept(); });

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace tgxtest {

// The parent of every watcher, so that a test's cleanup ends those that never
// saw their window.
inline QObject& Watchers() {
  static QObject parent;
  return parent;
}
inline void StopWatching() { qDeleteAll(Watchers().findChildren<QTimer*>(Qt::FindDirectChildrenOnly)); }

// Hands the active modal widget to `action` every `periodMs` until it returns
// true; after `timeoutMs` the widget is rejected, so a test fails, not hangs.
inline void WhenModal(std::function<bool(QWidget*)> action, int timeoutMs = 10000, int periodMs = 20) {
  auto* timer = new QTimer(&Watchers());
  QElapsedTimer clock;
  clock.start();
  QObject::connect(timer, &QTimer::timeout, [timer, clock, action = std::move(action), timeoutMs] {
    QWidget* modal = QApplication::activeModalWidget();
    const bool done = modal && modal->isVisible() && action(modal);
    if (!done && clock.elapsed() <= timeoutMs) return;
    timer->deleteLater();
    timer->stop();
    if (!done && modal) QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
  });
  timer->start(periodMs);
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
