#pragma once
// The three graphs of the main window: the concentration profiles with the
// Kirkendall plane markers, the Darken velocity, and the diffusion paths.
// Everything is drawn from scratch at each call; there are no axes, ticks or
// remembered plot state.
//
// Drawing conventions shared by all graphs: the origin is the top-left pixel
// and y grows downwards; every pixel coordinate is computed in floating point
// and truncated toward zero; no antialiasing, cosmetic one-pixel pen, the
// font the painter holds. A rectangle (x1, y1)-(x2, y2) covers the pixels
// x1 .. x2-1, y1 .. y2-1, outlined in the pen colour and filled white; a line
// from a to b covers its pixels from a up to but not including b; a label at
// (x, y) has its top-left corner there, on an opaque white background.
//
// Values that cannot be drawn: a pixel coordinate that is not a number
// (from NaN in the data, or 0/0 when the sample width is 0) leaves out the
// marker, line or label that needs it, and nothing else. Any other coordinate
// beyond +-2^24 pixels (an infinity, or a huge value) is clamped there: that
// is farther out than any widget can reach, so the clamped point is off the
// box and a line toward it still leaves the box on the side the value lies.
// Within +-2^24 pixels the drawing is exactly the truncated coordinates.

#include <QColor>
#include <QString>
#include <vector>

#include "model/case.h"
#include "model/table.h"
#include "solver/run_state.h"

class QPainter;

namespace torvex {

class PaintBox;

// A copy of exactly the model quantities the graphs read. During a run it is
// refreshed on the GUI thread after every accepted pass, while the worker
// waits; repaints then draw from the copy only, so a repaint never reads the
// arrays while the worker writes them. Any contents are safe to draw,
// including a default-constructed snapshot and arrays shorter than r and n
// claim (a graph whose arrays are too short draws only its background).
struct GraphSnapshot {
  int componentCount = 0;                  // r
  int pointCount = 0;                      // n
  std::vector<double> position;            // [n], cm
  double sampleWidth = 0.0;                // cm, last minus first position
  Table2<double> molarRatio;               // [r][n]
  std::vector<double> darkenVelocity;      // [n], cm/s
  Switch darkenVelocityOn = 0;             // the velocity is drawn only when 1
  Switch kirkendallPlaneVisible = 0;       // the plane markers are drawn only when 1
  double kirkendallPosition = 0.0;         // cm
  double initialKirkendallPosition = 0.0;  // cm

  // Copies those quantities from the case and the state of its run. When r
  // and n are those of the
  // previous copy, the arrays are overwritten in place: a run allocates
  // nothing here after its first refresh.
  void takeFrom(const Case& c, const RunState& s);
};

// The colour of component i (0-based) for its markers and lines: red, green,
// blue, aqua, maroon, fuchsia, gray, silver, olive, purple for 0 .. 9, black
// for 10 and above.
QColor componentColour(int i);

// The end label of a component at grid node endNode (0 or n-1), such as
// "1 (85%)": the component number, then its percentage at that node. Every
// component but the last shows floor(100 N); the last shows 100 minus the
// others' floors, so the labels at one end add up to 100. Empty when the
// component or node is not in the snapshot.
QString endLabel(const GraphSnapshot& snapshot, int component, int endNode);

// Each of the following draws one graph with the painter, on a box of
// width x height pixels (the painter's device, from its top-left corner).
// They read only the snapshot and change the painter's state only for the
// duration of the call.

// Clears the box white, then draws each component's molar ratio over the
// position: ratio 1 at 10 pixels below the top, 0 at the bottom edge, the
// sample from the left edge to the right. Each end carries its label.
void drawConcentrationProfiles(QPainter& painter, int width, int height, const GraphSnapshot& snapshot);

// Clears the box white, then, only when darkenVelocityOn is 1 and some
// velocity is not 0, draws the Darken velocity over the position, scaled so
// that zero lies on the middle line and the largest magnitude 5 pixels from
// the edge; the markers and segments at both ends and around the middle of
// the grid are red, the rest black.
void drawDarkenVelocity(QPainter& painter, int width, int height, const GraphSnapshot& snapshot);

// Draws on the concentration graph, only when kirkendallPlaneVisible is 1
// and the sample width is positive, the current Kirkendall plane as a green
// vertical line labelled "K" and its initial position as a red one labelled
// "K_0". Does not clear.
void drawKirkendallMarkers(QPainter& painter, int width, int height, const GraphSnapshot& snapshot);

// Draws, for every component but the first, its molar ratio (vertical, 0 at
// the bottom and 1 at the top) against the first component's (horizontal, 0
// at the left and 1 at the right). Does not clear: it draws on the
// background laid down with the velocity graph.
void drawDiffusionPaths(QPainter& painter, int width, int height, const GraphSnapshot& snapshot);

// Draws the three graphs into the boxes' surfaces, in this order: the
// concentration profiles, the velocity (clearing both the velocity and the
// paths box), the Kirkendall markers, the diffusion paths; then asks each box
// to show its surface. Labels use each box's font. Call on the GUI thread.
void DrawGraphs(const GraphSnapshot& snapshot, PaintBox& concentration, PaintBox& velocity, PaintBox& paths);

}  // namespace torvex
