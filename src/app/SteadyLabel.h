#pragma once
// Text that changes many times a second (positions, counters) without the window around it
// doing its layout again each time: the label keeps a fixed size that only grows, to the
// width its text has needed so far, so a new number repaints only where the label is.

#include <QLabel>
#include <algorithm>

inline void SetSteadyText(QLabel* label, const QString& text) {
  if (label->text() == text)
    return;
  // Measuring text is the costly part; a text no longer than one that fitted fits too (one
  // character of room is kept for the wider digits of proportional fonts).
  const int fitted = label->property("steadyChars").toInt();
  if (text.size() < fitted) {
    label->setText(text);
    return;
  }
  const QMargins margins = label->contentsMargins();
  const int needed = label->fontMetrics().horizontalAdvance(text + QLatin1Char('0')) + margins.left() + margins.right() +
                     2 * label->margin() + 2;
  const bool fixed = label->minimumWidth() == label->maximumWidth();
  if (!fixed || needed > label->maximumWidth()) {
    const int height = std::max(label->fontMetrics().height() + margins.top() + margins.bottom() + 2 * label->margin(),
                                label->minimumHeight());
    label->setFixedSize(std::max(needed, fixed ? label->maximumWidth() : 0), height);
  }
  label->setProperty("steadyChars", std::max(fitted, int(text.size()) + 1));
  label->setText(text);
}
