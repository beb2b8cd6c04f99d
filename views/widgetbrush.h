#pragma once

class QBrush;
class QWidget;

// Paints a widget's background with a brush (the window role of every colour
// group): the dialogs' side panels and the real-time window's time badge.
void fillBackground(QWidget *widget, const QBrush &brush);
