#include "ui/about_box.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace torvex {

QPixmap programIcon(int size) {
  // Two concentration profiles crossing in a diffusion zone, the picture of
  // what the program computes.
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::white);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(128, 128, 128), 1));
  painter.drawRect(QRectF(0.5, 0.5, size - 1.0, size - 1.0));
  const double margin = size * 0.12;
  const double width = size - 2.0 * margin;
  for (const auto& [colour, sign] : {std::pair{QColor(255, 0, 0), 1.0}, std::pair{QColor(0, 0, 255), -1.0}}) {
    QPainterPath path;
    for (int i = 0; i <= 40; ++i) {
      const double u = i / 40.0;
      const double fraction = 0.5 * (1.0 + sign * std::erf((u - 0.5) * 5.0));
      const QPointF point(margin + u * width, margin + (1.0 - fraction) * width);
      if (i == 0)
        path.moveTo(point);
      else
        path.lineTo(point);
    }
    painter.setPen(QPen(colour, std::max(1.5, size / 24.0)));
    painter.drawPath(path);
  }
  return pixmap;
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  auto* icon = new QLabel(panel);
  icon->setObjectName(QStringLiteral("ProgramIcon"));
  icon->setFrameStyle(QFrame::Box | QFrame::Plain);
  icon->setFixedSize(68, 68);
  icon->setScaledContents(true);
  icon->setPixmap(programIcon(64));

  auto* productName = new QLabel(QStringLiteral("Torvex — multicomponent interdiffusion"), panel);
  productName->setObjectName(QStringLiteral("ProductName"));
  QFont bold = productName->font();
  bold.setBold(true);
  productName->setFont(bold);
  auto* version = new QLabel(QStringLiteral("Version 3.4"), panel);
  version->setObjectName(QStringLiteral("Version"));
  auto* maker = new QLabel(QStringLiteral("Written by the Torvex developers"), panel);
  maker->setObjectName(QStringLiteral("Copyright"));
  auto* comments =
      new QLabel(QStringLiteral("Simulates one-dimensional interdiffusion in multicomponent alloys: diffusion "
                                "couples, and alloys losing their first component to selective oxidation at a "
                                "surface. Questions and reports: torvex@example.org"),
                 panel);
  comments->setObjectName(QStringLiteral("Comments"));
  comments->setWordWrap(true);
  comments->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* grid = new QGridLayout(panel);
  grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
  grid->addWidget(productName, 0, 1);
  grid->addWidget(version, 1, 1);
  grid->addWidget(maker, 2, 1);
  grid->addWidget(comments, 3, 0, 1, 2);
  grid->setColumnStretch(1, 1);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("OKButton"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(panel);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  setFixedWidth(400);
}

}  // namespace torvex
