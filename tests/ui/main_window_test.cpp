#include <QtTest/QtTest>

#include "ui/main_window.h"

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void opensWithTheProgramTitleAndCloses() {
    torvex::TForm2 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QStringLiteral("Torvex"));
    QVERIFY(window.close());
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
