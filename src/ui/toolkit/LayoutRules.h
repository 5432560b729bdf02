#pragma once

#include <QList>

class QBoxLayout;
class QWidget;

// A horizontal share group: the widgets take the extra width of the row in proportion to
// their designed widths (in pixels), each starting at its designed width. Appends them to
// row in order.
void AddShareGroup(QBoxLayout &row, const QList<QWidget *> &widgets,
                   const QList<int> &designedWidths);
