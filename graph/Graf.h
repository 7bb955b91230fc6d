#pragma once
// The volume graph of the table editor: the curve V(L) of the current form and,
// in red over it, its second differences ddV(L), with a cursor line and a
// visible range of table indices that the operator narrows, widens, scrolls
// or selects with the mouse. Everything is drawn on one QImage (RGB32, so that
// the not-xor pen of the cursor and the selection can toggle pixels).
//
// The arithmetic is the unit software's own: float fields, every float to
// integer conversion truncating toward zero, integer halving toward zero.
// Pictures made from the same table and range are pixel-identical.

#include <QRect>
#include <QString>
#include <cstdint>
#include <vector>

#include "model/Prjvol.h"

class FORMA;
class QImage;
class QPainter;
class QRectF;

class VGRAF {
 public:
  // Colours as 0x00BBGGRR values.
  static constexpr uint32_t kBlack = 0;
  static constexpr uint32_t kWhite = 16777215;
  static constexpr uint32_t kRed = 255;
  static constexpr uint32_t kGreen = 32768;

  // Plots up to this span (in indices) get a tick and a label per entry.
  static constexpr float kSparseSpan = 20.0f;

  struct Frame {
    int32_t left = 0, right = 0, bottom = 0, top = 0;
  };
  struct Range {
    float start = 0.0f, end = 0.0f, span = 0.0f;
    float vmin = 0.0f, vmax = 0.0f, vrange = 0.0f;
    float xscale = 0.0f, yscale = 0.0f;
  };

  // `image` is not owned and must stay alive and keep its size.
  VGRAF(QImage* image, bool ddv);
  VGRAF(const VGRAF&) = delete;
  VGRAF& operator=(const VGRAF&) = delete;

  void Reset(bool ddv);
  // Converts the form into the volume table; false (and no table) when the
  // form's type has no table or a text is not a number.
  bool LoadForm(const FORMA& form);
  // Takes a volume table as it is; false for a table of fewer than two entries.
  bool LoadTable(const PARTAB& table);

  void ShowRange(int32_t centre, int32_t span);
  void ShowCurrent();
  void ShowAll();
  void Narrow();
  void Widen();
  void ScrollTo(int32_t i);

  void BeginSelect(int32_t x, int32_t y);
  void DragTo(int32_t x, int32_t y);
  // True when the drag was wide enough to zoom into the selected indices.
  bool EndSelect(int32_t x, int32_t y);
  // The table index under pixel column x; -1 while no range was ever computed.
  int32_t IndexAt(int32_t x) const;

  // Queries of the editor.
  bool Valid() const { return valid_ != 0; }
  bool Partial() const { return partial_ != 0; }
  bool Dragging() const { return dragging_ != 0; }
  int32_t Cursor() const { return cursor_; }
  int32_t CentreIndex() const;
  int32_t LastIndex() const { return v_.Count() - 1; }
  int32_t ScrollStep() const;
  int32_t DdvCount() const { return ddv_table_.Count(); }
  // Entry i of the ddV table; 0 outside the table.
  int32_t Ddv(int32_t i) const { return i >= 0 && i < ddv_table_.Count() ? ddv_table_[i] : 0; }
  // True when the ddV table was computed from the volume table held now (a
  // failed range leaves the table of an earlier load in place).
  bool DdvCurrent() const { return ddv_current_; }
  const PARTAB& Volumes() const { return v_; }
  const PARTAB& DdvTable() const { return ddv_table_; }
  const Range& MainRange() const { return range_; }
  const Range& DdvRange() const { return drange_; }
  const Frame& MainFrame() const { return frame_; }
  const Frame& DdvFrame() const { return dframe_; }

  // One tick of an axis as last drawn: its pixel position along the axis
  // and the number written beside it.
  struct Tick {
    int32_t pos;
    int32_t label;
  };
  const std::vector<Tick>& XTicks() const { return xticks_; }
  const std::vector<Tick>& YTicks() const { return yticks_; }
  // Every label of the last drawing with its box, in logical pixels.
  struct Label {
    QRect box;
    QString text;
    bool ddv = false;  // written in the ddV band's red
  };
  const std::vector<Label>& Labels() const { return labels_; }

  // The last computed range drawn as vector strokes into `area` (in the
  // painter's coordinates), scaled evenly from the picture's logical size:
  // the same axes, ticks, labels, curve and ddV band, without the cursor and
  // the selection. Before a range was computed only the axes are drawn. The
  // painter's font family is kept.
  void Paint(QPainter& painter, const QRectF& area) const;

  // Drawing steps, public so that the not-xor figures can be checked alone.
  // Each call toggles its figure.
  void DrawCursor();
  void DrawSelection();

 private:
  bool ComputeRange(int32_t c, int32_t s);
  void Blank();
  void DrawAxes();
  void DrawCurve(QPainter& p);
  void DrawCurveSparse(QPainter& p);
  void DrawCurveDense(QPainter& p);
  void DrawDdv();
  int32_t PointX(int32_t k) const;
  int32_t PointY(int32_t k) const;
  // Writes `text` with its top left corner at (x, y) and records its box.
  // Tick labels are left out where they would cover a label already there
  // (`mayDrop`); a caption moves to the first free place of `alternatives`.
  bool PutLabel(QPainter& p, int32_t x, int32_t y, const QString& text, bool mayDrop);
  void PutCaption(QPainter& p, const std::vector<QPoint>& places, const QString& text);
  bool Free(const QRect& box) const;
  void PutVolumeLabel(QPainter& p, int32_t y, int32_t volume);

  uint8_t dragging_ = 0;
  uint8_t ddv_ = 1;
  uint8_t valid_ = 0;
  int32_t partial_ = 0;
  QImage* image_;
  int32_t x0_ = 0, y0_ = 0, x1_ = 0, y1_ = 0;
  int32_t cursor_ = 0;
  Frame frame_;
  Range range_;
  Frame dframe_;
  Range drange_;
  PARTAB v_;
  PARTAB ddv_table_;
  bool ddv_current_ = false;
  // Whether the not-xor cursor line is on the picture now; a failed range
  // must leave it as it is instead of toggling it away.
  bool cursor_shown_ = false;
  std::vector<Tick> xticks_;
  std::vector<Tick> yticks_;
  std::vector<Label> labels_;
  int32_t ylabels_right_ = 0;  // right edge of the widest volume label
  bool drawn_ = false;         // a range has been computed and drawn
  int32_t ddv_line_left_ = 0;  // where the band's dashed lines start
};
