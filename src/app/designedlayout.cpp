#include "designedlayout.h"

#include <QLabel>

#include <algorithm>

namespace {

const char *const DesignedRect = "designedRect";

} // namespace

void fitToText(QLabel *label)
{
    const QRect rect = label->property(DesignedRect).toRect();
    const QSize hint = label->sizeHint();
    label->setGeometry(rect.x(), rect.y(), std::max(rect.width(), hint.width()),
                       std::max(rect.height(), hint.height()));
}

void placeLabel(QLabel *label, const QRect &designedRect)
{
    label->setProperty(DesignedRect, designedRect);
    fitToText(label);
}
