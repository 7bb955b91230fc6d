#pragma once
// The graph of a volume table in the document: the table editor's own graph
// (VGRAF) over the whole table, the curve V(L) and, in red over it, the band
// of its second differences ddV(L) from -128 to 128, drawn as vector strokes
// so that the printed sheet keeps every line sharp.

class PARTAB;
class QPainter;
class QRectF;

// Draws into `area` (in the painter's coordinates); nothing outside it. A table
// of fewer than two entries, or without any volume above the lowest, gets the
// axes only.
void PaintTableGraph(QPainter& painter, const QRectF& area, const PARTAB& table);
