// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/Controls.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "Unit_main/Guarded.h"

namespace mv {

// --- TLabel -------------------------------------------------------------------------------

void TLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = true;
  QLabel::mousePressEvent(event);
}

void TLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  if (event->button() == Qt::LeftButton) pressed_ = false;
  QLabel::mouseReleaseEvent(event);
  if (click && OnClick) RunGuarded(OnClick);
}

void TLabel::SetKeyboardLink(const QString& description) {
  setFocusPolicy(Qt::StrongFocus);
  setAccessibleDescription(description);
}

void TLabel::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (focusPolicy() != Qt::NoFocus && OnClick &&
      (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
    event->accept();
    RunGuarded(OnClick);
    return;
  }
  QLabel::keyPressEvent(event);
}

void TLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  QPainter painter(this);
  QStyleOptionFocusRect option;
  option.initFrom(this);
  option.backgroundColor = palette().color(backgroundRole());
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

// --- TPanel -------------------------------------------------------------------------------

// A frame has none until SetBevelOuter gives it one.
TPanel::TPanel(QWidget* parent) : QFrame(parent) { setAutoFillBackground(true); }

void TPanel::SetBevelOuter(TBevel bevel) {
  bevel_ = bevel;
  if (bevel == TBevel::Lowered) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
  } else {
    setFrameStyle(QFrame::NoFrame);
  }
}

// --- TCoolBar -----------------------------------------------------------------------------

namespace {
// The etched edge along the top of the bar, and the band's inset from the bar's sides.
constexpr int kEdge = 2;
}  // namespace

TCoolBar::TCoolBar(QWidget* parent) : QFrame(parent) { setAutoFillBackground(true); }

QWidget* TCoolBar::AddBand(int width, int minHeight) {
  auto* band = new QWidget(this);
  band->setAutoFillBackground(true);
  const int top = bands_.empty() ? kEdge : bands_.back()->geometry().bottom() + 1 + kEdge;
  band->setGeometry(kEdge, top, width, minHeight);
  bands_.push_back(band);
  return band;
}

void TCoolBar::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  for (QWidget* band : bands_) band->resize(std::max(0, width() - 2 * kEdge), band->height());
}

void TCoolBar::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  QPainter painter(this);
  // A lowered outer and raised inner edge: dark over light.
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawLine(0, 0, width() - 1, 0);
  painter.setPen(palette().color(QPalette::Light));
  painter.drawLine(0, 1, width() - 1, 1);
}

// --- TMediaPlayerControl ------------------------------------------------------------------

TMediaPlayerControl::TMediaPlayerControl(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::TabFocus);
  setVisible(false);
}

}  // namespace mv
