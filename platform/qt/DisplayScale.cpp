#include "platform/qt/DisplayScale.h"

#include <QApplication>
#include <QStyle>

double g_scaleX = 1.0;
double g_scaleY = 1.0;

double ScaleFromIconSize(int pixels)
{
    const double scale = pixels * 0.0625;
    return scale < 1.0 ? 1.0 : scale;
}

void ComputeScaleFactors()
{
    const int icon = QApplication::style()->pixelMetric(QStyle::PM_SmallIconSize);
    g_scaleX = ScaleFromIconSize(icon);
    g_scaleY = ScaleFromIconSize(icon);
}
