#pragma once
// The picture of the table editor's graph: shows the VGRAF image as it is and
// hands the mouse to the editor in the image's own pixel coordinates.

#include <QImage>
#include <QWidget>
#include <functional>

namespace tgx {

class GraphView : public QWidget {
 public:
  // `picture` is not owned and must outlive the view.
  GraphView(const QImage* picture, QWidget* parent);

  std::function<void(int x, int y)> onDown;
  std::function<void(int x, int y, bool leftDown)> onMove;
  std::function<void(int x, int y)> onUp;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  const QImage* picture_;
};

}  // namespace tgx
