#pragma once

// Display scale factors: the small-icon size over 16, at least 1.0. Set once before any window
// exists; every pixel size made from them is truncated.
extern double g_scaleX;
extern double g_scaleY;

double ScaleFromIconSize(int pixels);
// Reads the style's small-icon size into both factors.
void ComputeScaleFactors();
