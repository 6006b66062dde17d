#include "ui/about_box.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace torvex {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About"));
  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* icon = new QLabel(panel);
  icon->setObjectName(QStringLiteral("ProgramIcon"));
  icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(48, 48));
  auto* productName = new QLabel(QStringLiteral("Torvex"), panel);
  productName->setObjectName(QStringLiteral("ProductName"));
  auto* version = new QLabel(QStringLiteral("Version 3.4"), panel);
  version->setObjectName(QStringLiteral("Version"));
  auto* maker = new QLabel(QStringLiteral("Made by the Torvex developers"), panel);
  maker->setObjectName(QStringLiteral("Copyright"));
  auto* comments = new QLabel(
      QStringLiteral("Simulates one-dimensional interdiffusion in multicomponent alloys: diffusion couples and "
                     "alloys losing a component to selective oxidation at a surface. Contact: the Torvex "
                     "developers, through the project's issue tracker."),
      panel);
  comments->setObjectName(QStringLiteral("Comments"));
  comments->setWordWrap(true);
  auto* panelLayout = new QVBoxLayout(panel);
  for (QWidget* line : {static_cast<QWidget*>(icon), static_cast<QWidget*>(productName), static_cast<QWidget*>(version),
                        static_cast<QWidget*>(maker), static_cast<QWidget*>(comments)})
    panelLayout->addWidget(line);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("OKButton"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(panel);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  setFixedWidth(360);
}

}  // namespace torvex
