#include <QtTest>

class DrawGraphsTest : public QObject {
  Q_OBJECT
};

QTEST_MAIN(DrawGraphsTest)
#include "draw_graphs_test.moc"
