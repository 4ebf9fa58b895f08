// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/FormLoader.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>

namespace mv {

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QRect ToRect(const TBounds& b) { return QRect(b.left, b.top, b.width, b.height); }

QFont ToFont(const TFontDesc& font, QFont base) {
  if (!font.family.empty()) base.setFamily(FromUtf8(font.family));
  if (font.pixelHeight > 0) base.setPixelSize(font.pixelHeight);
  base.setUnderline(font.underline);
  return base;
}

QColor ToColor(const TColor& color, const QPalette& palette) {
  switch (color.kind) {
    case TColor::TKind::Rgb:
      return QColor(color.red, color.green, color.blue);
    case TColor::TKind::ButtonFace:
      return palette.color(QPalette::Button);
    case TColor::TKind::GrayText:
      return palette.color(QPalette::Disabled, QPalette::Text);
    case TColor::TKind::Default:
    case TColor::TKind::WindowText:
      break;
  }
  return palette.color(QPalette::WindowText);
}

void ApplyControl(QWidget& widget, const TControlDesc& control) {
  widget.setObjectName(FromUtf8(control.name));
  widget.setGeometry(ToRect(control.bounds));
  if (auto* label = qobject_cast<QLabel*>(&widget)) label->setTextFormat(Qt::PlainText);
  if (!control.caption.empty()) widget.setProperty("text", FromUtf8(control.caption));
  if (!control.hint.empty()) widget.setToolTip(FromUtf8(control.hint));
  if (!control.font.family.empty() || control.font.pixelHeight > 0 || control.font.underline) {
    widget.setFont(ToFont(control.font, widget.font()));
  }
  if (control.color.kind != TColor::TKind::Default) {
    QPalette palette = widget.palette();
    const QColor color = ToColor(control.color, palette);
    // Labels draw with WindowText, lists and edits with Text.
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
      palette.setColor(group, QPalette::WindowText, color);
      palette.setColor(group, QPalette::Text, color);
    }
    widget.setPalette(palette);
  }
  if (control.cursor == TCursor::HandPoint) widget.setCursor(Qt::PointingHandCursor);
  if (control.autoSize) widget.adjustSize();
  if (!control.visible) widget.hide();
}

void ApplyForm(QWidget& form, const TFormDesc& desc) {
  form.setObjectName(FromUtf8(desc.name));
  form.setWindowTitle(FromUtf8(desc.caption));
  if (!desc.font.family.empty()) form.setFont(ToFont(desc.font, form.font()));
  if (desc.color.kind != TColor::TKind::Default) {
    QPalette palette = form.palette();
    palette.setColor(QPalette::Window, ToColor(desc.color, palette));
    form.setPalette(palette);
    form.setAutoFillBackground(true);
  }
  if (!desc.centred) form.move(desc.bounds.left, desc.bounds.top);
  form.resize(desc.bounds.width, desc.bounds.height);
}

void CentreOnScreen(QWidget& window) {
  QScreen* screen = window.screen() != nullptr ? window.screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->geometry();
  const QSize outer = window.frameGeometry().size();
  window.move(area.left() + area.width() / 2 - outer.width() / 2,
              area.top() + area.height() / 2 - outer.height() / 2);
}

void ApplyTabOrder(QWidget& form, const TFormDesc& desc) {
  QWidget* previous = nullptr;
  for (const TControlDesc* control : desc.TabChain()) {
    auto* widget = form.findChild<QWidget*>(FromUtf8(control->name));
    if (widget == nullptr) continue;
    if (previous != nullptr) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

}  // namespace mv
