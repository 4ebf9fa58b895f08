// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The small control classes of the main window that Qt has no exact match for: a label that
// reports clicks, a panel with a bevel, a cool bar with one band, and the invisible media player's
// place in the window.

#include <QFrame>
#include <QLabel>
#include <QWidget>
#include <functional>
#include <memory>

#include "utility/FormDescription.h"

namespace mv {

// A static text that reports a click (press and release of the left button over it). A label
// made a link (SetKeyboardLink) also takes the focus, shows it, and is clicked by Enter or Space.
class TLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;
  std::function<void()> OnClick;
  void SetKeyboardLink(const QString& description);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  bool pressed_ = false;
};

// A plain container; Panel1's lowered outer bevel is a one-pixel sunken panel frame.
class TPanel : public QFrame {
  Q_OBJECT

 public:
  explicit TPanel(QWidget* parent = nullptr);
  void SetBevelOuter(TBevel bevel);
  TBevel BevelOuter() const { return bevel_; }

 private:
  TBevel bevel_ = TBevel::None;
};

// A cool bar with its bands. A band is a clipping area; its control keeps the position it was
// given inside the band.
class TCoolBar : public QFrame {
  Q_OBJECT

 public:
  explicit TCoolBar(QWidget* parent = nullptr);
  // Adds a band of the given width and minimum height; its control is created by the caller
  // with the returned band as parent.
  QWidget* AddBand(int width, int minHeight);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<QWidget*> bands_;
};

// MediaPlayer1's place among the window's controls and in the tab order: never shown. The
// player itself belongs to the program (TProgram::MediaPlayer1).
class TMediaPlayerControl : public QWidget {
  Q_OBJECT

 public:
  explicit TMediaPlayerControl(QWidget* parent);
};

}  // namespace mv
