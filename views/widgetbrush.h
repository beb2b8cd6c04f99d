#pragma once

class QBrush;
class QString;
class QWidget;

// Paints a widget's background with a brush (the window role of every colour
// group): the dialogs' side panels and the real-time window's time badge.
void fillBackground(QWidget *widget, const QBrush &brush);

// The decorative panel along a dialog's left edge: the side-panel picture,
// and the dialog's 64 x 64 icon at (x, y) on it.
void decorateSidePanel(QWidget *panel, const QString &icon, int x, int y);
