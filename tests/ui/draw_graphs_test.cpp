// Pixel checks of the graphs on small boxes whose coordinates are worked out
// by hand. Labels use an 8-pixel font, so they never reach the markers and
// lines checked here (a label starts 15 pixels above its marker).

#include <QtTest>

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <limits>
#include <vector>

#include "run/simulation.h"
#include "ui/draw_graphs.h"
#include "ui/paint_box.h"

using torvex::GraphSnapshot;
using Values = std::vector<double>;

namespace {

const QColor kWhite(255, 255, 255), kBlack(0, 0, 0), kRed(255, 0, 0), kGreen(0, 128, 0), kBlue(0, 0, 255);
const QColor kStale(10, 20, 30);  // left from an earlier drawing, to see that a graph clears
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

QFont smallFont() {
  QFont font = QApplication::font();
  font.setPixelSize(8);
  return font;
}

// Positions (sample width last minus first), one row of ratios per component, velocities.
GraphSnapshot snapshot(const Values& x, const std::vector<Values>& ratios, const Values& v = {}) {
  GraphSnapshot s;
  s.componentCount = static_cast<int>(ratios.size());
  s.pointCount = static_cast<int>(x.size());
  s.position = x;
  s.sampleWidth = x.empty() ? 0.0 : x.back() - x.front();
  s.molarRatio.resize(s.componentCount, s.pointCount);
  for (int i = 0; i < s.componentCount; ++i) std::copy(ratios[i].begin(), ratios[i].end(), s.molarRatio[i]);
  s.darkenVelocity = v.empty() ? Values(x.size(), 0.0) : v;
  s.darkenVelocityOn = 1;
  return s;
}

using Draw = void (*)(QPainter&, int, int, const GraphSnapshot&);
QImage render(Draw draw, const GraphSnapshot& s, int width, int height, const QColor& background = kWhite) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(background);
  QPainter painter(&image);
  painter.setFont(smallFont());
  draw(painter, width, height, s);
  return image;
}

QColor at(const QImage& image, int x, int y) {
  return image.pixelColor(x, y);
}

int count(const QImage& image, const QRect& area, const QColor& colour) {
  int n = 0;
  const QRect inside = area.intersected(image.rect());
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) n += at(image, x, y) == colour ? 1 : 0;
  }
  return n;
}

bool allWhite(const QImage& image) {
  return count(image, image.rect(), kWhite) == image.width() * image.height();
}

// The cell of a label whose top-left corner is at (x, y), one column wider
// for a glyph that overhangs its advance.
QRect labelCell(int x, int y, const QString& text) {
  QImage device(1, 1, QImage::Format_RGB32);
  const QFontMetrics metrics(smallFont(), &device);
  return {x, y, metrics.horizontalAdvance(text) + 1, metrics.height()};
}

}  // namespace

Q_DECLARE_METATYPE(GraphSnapshot)

class DrawGraphsTest : public QObject {
  Q_OBJECT

 private slots:
  void endLabelsFloorEveryPercentButTheLast_data() {
    QTest::addColumn<Values>("ratios");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("thirds add up to 100")
        << Values{0.333, 0.333, 0.334} << QStringList{"1 (33%)", "2 (33%)", "3 (34%)"};
    QTest::newRow("one component is 100") << Values{0.98} << QStringList{"1 (100%)"};
    QTest::newRow("85 percent") << Values{0.85, 0.15} << QStringList{"1 (85%)", "2 (15%)"};
    QTest::newRow("floor, not rounding") << Values{0.999, 0.001} << QStringList{"1 (99%)", "2 (1%)"};
  }
  void endLabelsFloorEveryPercentButTheLast() {
    QFETCH(Values, ratios);
    QFETCH(QStringList, labels);
    // The composition sits at the right end; the left end holds 50 % of each.
    std::vector<Values> rows;
    for (double ratio : ratios) rows.push_back({0.5, 0.25, ratio});
    const GraphSnapshot s = snapshot({0.0, 1.0, 2.0}, rows);
    for (int i = 0; i < s.componentCount; ++i) QCOMPARE(torvex::endLabel(s, i, 2), labels[i]);
    if (s.componentCount > 1) QCOMPARE(torvex::endLabel(s, 0, 0), QStringLiteral("1 (50%)"));
    QCOMPARE(torvex::endLabel(s, s.componentCount, 0), QString());
  }

  void componentColoursFollowTheTableThenBlack() {
    const QList<QColor> table = {{255, 0, 0},   {0, 128, 0},     {0, 0, 255},     {0, 255, 255}, {128, 0, 0},
                                 {255, 0, 255}, {128, 128, 128}, {192, 192, 192}, {128, 128, 0}, {128, 0, 128}};
    for (int i = 0; i < table.size(); ++i) QCOMPARE(torvex::componentColour(i), table[i]);
    QCOMPARE(torvex::componentColour(49), kBlack);
    // Twelve components on the paths graph, one marker each at (40, 79 - 5c):
    // components 11 and 12 come out black.
    std::vector<Values> rows{{0.503}};
    for (int c = 1; c < 12; ++c) rows.push_back({c / 16.0 + 0.003});
    const QImage image = render(torvex::drawDiffusionPaths, snapshot({0.0}, rows), 80, 80);
    for (int c = 1; c < 12; ++c) QCOMPARE(at(image, 40, 79 - 5 * c), torvex::componentColour(c));
  }

  void concentrationProfilesLandOnHandComputedPixels() {
    // W = 100, H = 120, x = 0, 0.5, 1: columns 0, 50, 100, Y = trunc(120 - 110 N).
    // Red N = 0.5 flat: Y = 65, markers on rows 64-65, the line one row up
    // on row 64. Green N = 0, 0.25, 1: Y = 120, 92, 10.
    const GraphSnapshot s = snapshot({0.0, 0.5, 1.0}, {{0.5, 0.5, 0.5}, {0.0, 0.25, 1.0}});
    const QImage image = render(torvex::drawConcentrationProfiles, s, 100, 120, kStale);
    QCOMPARE(count(image, image.rect(), kStale), 0);
    for (int x : {0, 49, 50, 99}) QCOMPARE(at(image, x, 65), kRed);
    for (int x : {1, 25, 48, 51, 98}) QCOMPARE(at(image, x, 64), kRed);
    for (int x : {1, 25, 48, 51, 98}) QCOMPARE(at(image, x, 65), kWhite);
    for (QPoint p : {QPoint(0, 119), QPoint(49, 91), QPoint(50, 92), QPoint(99, 9), QPoint(99, 10), QPoint(5, 116)}) {
      QCOMPARE(at(image, p.x(), p.y()), kGreen);
    }
    QCOMPARE(at(image, 98, 10), kWhite);

    // One red component on 200 x 120 at N = 0.5: the labels' top-left
    // corners are (10, 65 - 15) and (200 - 40, 65 - 15); only they are black.
    const QImage labels = render(torvex::drawConcentrationProfiles, snapshot({0.0, 1.0}, {{0.5, 0.5}}), 200, 120);
    const QRect left = labelCell(10, 50, "1 (100%)"), right = labelCell(160, 50, "1 (100%)");
    QVERIFY(count(labels, left, kBlack) > 0 && count(labels, right, kBlack) > 0);
    QCOMPARE(count(labels, left, kBlack) + count(labels, right, kBlack), count(labels, labels.rect(), kBlack));
  }

  void velocityBoxIsOnlyClearedWhenThereIsNothingToShow_data() {
    QTest::addColumn<int>("on");
    QTest::addColumn<Values>("v");
    QTest::newRow("switch off") << 0 << Values{1.0, -2.0, 3.0};
    QTest::newRow("switch 2 is not on") << 2 << Values{1.0, -2.0, 3.0};
    QTest::newRow("all velocities 0") << 1 << Values{0.0, -0.0, 0.0};
    QTest::newRow("no velocity a number") << 1 << Values{kNaN, kNaN, kNaN};
  }
  void velocityBoxIsOnlyClearedWhenThereIsNothingToShow() {
    QFETCH(int, on);
    QFETCH(Values, v);
    // One component: the paths graph has nothing to draw, so both boxes
    // must leave the velocity step plain white.
    GraphSnapshot s = snapshot({0.0, 0.5, 1.0}, {{1.0, 1.0, 1.0}}, v);
    s.darkenVelocityOn = static_cast<torvex::Switch>(on);
    torvex::PaintBox profiles, velocity, paths;
    for (torvex::PaintBox* box : {&profiles, &velocity, &paths}) {
      box->resize(60, 40);
      box->surface().fill(kStale);
    }
    torvex::DrawGraphs(s, profiles, velocity, paths);
    QVERIFY(allWhite(velocity.surface()));
    QVERIFY(allWhite(paths.surface()));
  }

  void velocityIsRedAtTheEndsAndAroundTheMiddle_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("markers");
    QTest::addColumn<QString>("segments");
    // m = n / 2: markers 0, m-1, m, n-1 and segments 0, m-2, m-1, n-2 red.
    QTest::newRow("odd n") << 7 << "RBRRBBR"
                           << "RRRBBR";
    QTest::newRow("even n") << 6 << "RBRRBR"
                            << "RRRBR";
  }
  void velocityIsRedAtTheEndsAndAroundTheMiddle() {
    QFETCH(int, n);
    QFETCH(QString, markers);
    QFETCH(QString, segments);
    // x = 0 .. n-1 on W = 10 (n-1) + 1: markers at 10k, segments end at
    // (W-1) k / (n-1) = 10k. v = 1 on H = 20 gives Y = 4: row 3 holds only
    // the markers, row 4 the line.
    Values x;
    for (int k = 0; k < n; ++k) x.push_back(k);
    const GraphSnapshot s = snapshot(x, {Values(x.size(), 0.5)}, Values(x.size(), 1.0));
    const int width = 10 * (n - 1) + 1;
    const QImage image = render(torvex::drawDarkenVelocity, s, width, 20, kStale);
    const auto colour = [](QChar code) { return code == 'R' ? kRed : kBlack; };
    for (int k = 0; k < n; ++k) QCOMPARE(at(image, std::min(10 * k, width - 1), 3), colour(markers[k]));
    for (int k = 0; k < n - 1; ++k) QCOMPARE(at(image, 10 * k + 5, 4), colour(segments[k]));
    QCOMPARE(at(image, 5, 10), kWhite);
  }

  void velocityScaleReachesFivePixelsFromTheEdgesAndLinesEndAtWMinusOne() {
    // v = 1, -1 on 4 x 100: h = 50, Y = trunc(50 -+ 45 - 1) = 4 and 94; the
    // line runs from (0, 4) to ((W-1) * 1, 94) = (3, 94), so on row 64 it is
    // in column 2, where a line to column 4 would be in column 3.
    const QImage image = render(torvex::drawDarkenVelocity, snapshot({0.0, 1.0}, {{0.5, 0.5}}, {1.0, -1.0}), 4, 100);
    for (int y : {3, 4}) QCOMPARE(at(image, 0, y), kRed);
    for (int y : {93, 94}) QCOMPARE(at(image, 3, y), kRed);
    QCOMPARE(count(image, QRect(0, 0, 4, 3), kRed) + count(image, QRect(0, 95, 4, 5), kRed), 0);
    QCOMPARE(at(image, 2, 64), kRed);
    QCOMPARE(at(image, 3, 64), kWhite);
  }

  void kirkendallLinesAreGreenAndRedWithOpaqueLabels() {
    GraphSnapshot s = snapshot({0.0, 1.0}, {{0.5, 0.5}});
    s.kirkendallPosition = 0.6;                                            // column 60
    s.initialKirkendallPosition = 0.2;                                     // column 20
    QVERIFY(allWhite(render(torvex::drawKirkendallMarkers, s, 100, 60)));  // plane not visible
    s.kirkendallPlaneVisible = 1;
    QImage image = render(torvex::drawKirkendallMarkers, s, 100, 60);
    QCOMPARE(count(image, QRect(60, 0, 1, 60), kGreen), 60);
    QCOMPARE(count(image, QRect(20, 0, 1, 60), kRed), 60);
    const QRect k = labelCell(62, 10, "K");
    QVERIFY(count(image, labelCell(22, 10, "K_0"), kRed) > 0);
    QVERIFY(count(image, k, kGreen) > 0);
    QCOMPARE(count(image, QRect(61, 0, 39, 60), kGreen), count(image, k, kGreen));

    // The initial plane three columns left of the current one: the "K_0"
    // label, drawn after the green line, blanks it from row 10 down.
    s.initialKirkendallPosition = 0.57;
    image = render(torvex::drawKirkendallMarkers, s, 100, 60);
    const QRect cover = labelCell(59, 10, "K_0");
    QCOMPARE(count(image, QRect(60, 0, 1, 10), kGreen), 10);
    QCOMPARE(count(image, QRect(60, 10, 1, cover.height()), kGreen), 0);
    QCOMPARE(count(image, QRect(60, cover.bottom() + 1, 1, 60), kGreen), 59 - cover.bottom());

    s.sampleWidth = 0.0;
    QVERIFY(allWhite(render(torvex::drawKirkendallMarkers, s, 100, 60)));
  }

  void diffusionPathsPlotTheOtherComponentsAgainstTheFirst() {
    // 80 x 80: green from (N1, N2) = (0, 1), the top-left corner, through
    // (0.25, 0.5) -> (20, 40) to (1, 0), the bottom-right corner.
    const QImage green =
        render(torvex::drawDiffusionPaths, snapshot({0.0, 1.0, 2.0}, {{0.0, 0.25, 1.0}, {1.0, 0.5, 0.0}}), 80, 80);
    for (QPoint p : {QPoint(0, 0), QPoint(79, 79), QPoint(19, 39), QPoint(20, 40)}) {
      QCOMPARE(at(green, p.x(), p.y()), kGreen);
    }
    // Blue from (0.25, 0.25) -> (20, 60) to (0.75, 0.125) -> (60, 70), past
    // green held at the top; halfway along at (40, 65).
    const GraphSnapshot s = snapshot({0.0, 1.0}, {{0.25, 0.75}, {0.95, 0.95}, {0.25, 0.125}});
    const QImage blue = render(torvex::drawDiffusionPaths, s, 80, 80);
    for (QPoint p : {QPoint(19, 59), QPoint(20, 60), QPoint(40, 65), QPoint(60, 70)}) {
      QCOMPARE(at(blue, p.x(), p.y()), kBlue);
    }
  }

  void unusableValuesAreSkippedWithoutHarm_data() {
    QTest::addColumn<GraphSnapshot>("s");
    QTest::newRow("empty snapshot") << GraphSnapshot{};
    QTest::newRow("one node") << snapshot({0.0}, {{0.4}, {0.6}}, {1.0});
    QTest::newRow("zero sample width") << snapshot({1.0, 1.0, 1.0}, {{0.4, 0.5, 0.6}, {0.6, 0.5, 0.4}}, {1, 2, 3});
    QTest::newRow("NaN everywhere") << snapshot({kNaN, kNaN}, {{kNaN, kNaN}, {kNaN, kNaN}}, {kNaN, kNaN});
    QTest::newRow("infinities") << snapshot({0.0, kInf, 1.0}, {{kInf, -kInf, 0.5}, {0.5, kInf, 0.5}}, {kInf, -kInf, 1});
    QTest::newRow("huge") << snapshot({-1e300, 0.0, 1e300}, {{1e300, -1e300, 1e10}, {-3e9, 3e9, 0.5}}, {1e300, 1, -1});
    GraphSnapshot tooShort = snapshot({0.0, 1.0}, {{0.5, 0.5}});
    tooShort.componentCount = 5;
    tooShort.pointCount = 40;
    QTest::newRow("arrays shorter than claimed") << tooShort;
  }
  void unusableValuesAreSkippedWithoutHarm() {
    QFETCH(GraphSnapshot, s);
    s.darkenVelocityOn = s.kirkendallPlaneVisible = 1;
    s.kirkendallPosition = kInf;
    s.initialKirkendallPosition = kNaN;
    torvex::PaintBox profiles, velocity, paths, empty;
    profiles.resize(120, 90);
    velocity.resize(120, 90);
    paths.resize(90, 90);
    empty.resize(0, 0);
    torvex::DrawGraphs(s, profiles, velocity, paths);
    torvex::DrawGraphs(s, empty, empty, empty);
    QVERIFY(empty.surface().isNull());
  }

  void aNaNLeavesOutOnlyWhatNeedsItAndAnInfinityPointsOffTheBox() {
    // One component on 100 x 90 at N = 0.5 (Y = 50) with a NaN middle node:
    // its marker and both segments go, the end markers stay.
    GraphSnapshot s = snapshot({0.0, 0.5, 1.0}, {{0.5, kNaN, 0.5}});
    QImage image = render(torvex::drawConcentrationProfiles, s, 100, 90);
    QCOMPARE(at(image, 0, 50), kRed);
    QCOMPARE(at(image, 99, 50), kRed);
    QCOMPARE(count(image, QRect(1, 0, 98, 90), kRed), 0);
    // An infinite middle ratio: the segment toward it leaves the box upwards.
    s.molarRatio[0][1] = kInf;
    image = render(torvex::drawConcentrationProfiles, s, 100, 90);
    QCOMPARE(at(image, 0, 20), kRed);
  }

  void snapshotCopiesTheModelAndReusesItsStorage() {
    torvex::Simulation model;
    model.input.setShape(2, 3);
    model.input.initial.position = {0.0, 0.1, 0.2};
    model.prepare();
    model.state.molarRatio[1][2] = 0.75;
    model.state.darkenVelocity[1] = -2e-9;
    model.state.kirkendallPosition = 0.11;
    GraphSnapshot s;
    s.takeFrom(model.input, model.state);
    const double* ratios = s.molarRatio.data();
    model.state.molarRatio[0][0] = 0.25;
    s.takeFrom(model.input, model.state);
    QCOMPARE(s.molarRatio.data(), ratios);  // same sizes: overwritten in place
    QCOMPARE(s.molarRatio[0][0], 0.25);
    QCOMPARE(s.molarRatio[1][2], 0.75);
    QCOMPARE(s.position, model.state.position);
    QCOMPARE(s.darkenVelocity, model.state.darkenVelocity);
    QCOMPARE(s.kirkendallPosition, 0.11);
    model.input.setShape(4, 3);
    model.prepare();
    model.state.molarRatio[3][2] = 0.5;
    s.takeFrom(model.input, model.state);
    QCOMPARE(s.molarRatio[3][2], 0.5);
  }

  void paintBoxShowsAWhiteSurfaceOfItsOwnSize() {
    torvex::PaintBox box;
    box.resize(30, 20);
    QCOMPARE(box.surface().size(), QSize(30, 20));
    QVERIFY(allWhite(box.surface()));
    box.surface().setPixelColor(3, 4, kRed);
    QCOMPARE(at(box.surface(), 3, 4), kRed);  // kept while the size stays
    QCOMPARE(box.grab().toImage().convertToFormat(QImage::Format_RGB32), box.surface());
    box.resize(40, 25);
    QCOMPARE(box.surface().size(), QSize(40, 25));
    QVERIFY(allWhite(box.surface()));
  }

  void updatingABoxDoesNotRepaintItsParent() {
    // The main window draws the graphs while it paints itself; if a box's
    // update repainted the window, the two would keep each other busy.
    struct CountingParent : QWidget {
      int paints = 0;
      void paintEvent(QPaintEvent*) override { ++paints; }
    } parent;
    parent.resize(100, 100);
    auto* box = new torvex::PaintBox(&parent);
    box->setGeometry(10, 10, 50, 50);
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QCoreApplication::processEvents();
    parent.paints = 0;
    box->update();
    QTest::qWait(20);
    QCOMPARE(parent.paints, 0);
  }
};

QTEST_MAIN(DrawGraphsTest)
#include "draw_graphs_test.moc"
