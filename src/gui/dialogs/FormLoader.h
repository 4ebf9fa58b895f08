// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sets Qt widgets from a stored form description (utility/FormDescription.h): what every control
// shares - name, bounds, texts, font, colour, cursor, visibility - and the tab order. Creating
// the widget of the right class for a role is the form's own business.

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QString>

#include "utility/FormDescription.h"

class QWidget;

namespace mv {

QString FromUtf8(const std::string& text);
QRect ToRect(const TBounds& bounds);
// The description's font over the widget's own: an empty family or zero height keeps that part.
QFont ToFont(const TFontDesc& font, QFont base);
// A colour of the description in the given palette (Default: the palette's window text).
QColor ToColor(const TColor& color, const QPalette& palette);

// Name, bounds, caption (the "text" property), hint, font, text colour, cursor, and hidden when
// the description says invisible. Labels get plain text and, for autoSize, their text's size.
void ApplyControl(QWidget& widget, const TControlDesc& control);
// The form's own name, caption, client size and position, font and colour.
void ApplyForm(QWidget& form, const TFormDesc& desc);
// Centres a window on its screen (each half rounded towards zero).
void CentreOnScreen(QWidget& window);
// Chains the tab stops in the description's order (TFormDesc::TabChain), found by name below
// form.
void ApplyTabOrder(QWidget& form, const TFormDesc& desc);

}  // namespace mv
