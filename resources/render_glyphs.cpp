// Renders the glyph drawings to the PNGs that tgx.qrc lists, so the program
// needs no SVG support at run time. Run after changing a drawing:
//   g++ -std=c++20 -fPIC render_glyphs.cpp $(pkg-config --cflags --libs Qt6Svg) -o /tmp/render_glyphs
//   QT_QPA_PLATFORM=offscreen /tmp/render_glyphs resources
// Each tool bar glyph gives name.png (23 x 23) and name@2x.png (46 x 46); the
// program icon gives tgx.png (64 x 64) and tgx@2x.png (128 x 128).

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

static bool Render(const QString& svg, const QString& png, int size) {
  QSvgRenderer renderer(svg);
  if (!renderer.isValid()) return false;
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  renderer.render(&painter);
  painter.end();
  return image.save(png);
}

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QDir dir(argc > 1 ? argv[1] : ".");
  int failures = 0;
  for (const QString& file : dir.entryList({"*.svg"}, QDir::Files)) {
    const QString base = dir.filePath(file.chopped(4));
    const int size = file == "tgx.svg" ? 64 : 23;
    for (int scale : {1, 2}) {
      const QString png = base + (scale == 2 ? "@2x.png" : ".png");
      if (!Render(dir.filePath(file), png, size * scale)) {
        std::fprintf(stderr, "cannot render %s\n", qPrintable(file));
        ++failures;
      }
    }
  }
  return failures == 0 ? 0 : 1;
}
