#include "LayoutRules.h"

#include <QBoxLayout>
#include <QSizePolicy>
#include <QWidget>

void AddShareGroup(QBoxLayout &row, const QList<QWidget *> &widgets,
                   const QList<int> &designedWidths)
{
    for (qsizetype i = 0; i < widgets.size(); ++i) {
        QWidget *widget = widgets.at(i);
        const int width = designedWidths.value(i, 1);
        // Equal starting points (the designed widths) and stretch in their proportion: the
        // growth splits as the widths do.
        widget->setMinimumWidth(width);
        QSizePolicy policy = widget->sizePolicy();
        policy.setHorizontalPolicy(QSizePolicy::Preferred);
        policy.setHorizontalStretch(0);
        widget->setSizePolicy(policy);
        row.addWidget(widget, std::max(1, width));
    }
}
