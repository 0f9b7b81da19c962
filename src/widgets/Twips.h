#pragma once

// Window geometry is kept in twips (1/1440 inch), converted with the screen's logical DPI.

int TwipsToPixelsX(double twips);
int TwipsToPixelsY(double twips);
double PixelsToTwipsX(int pixels);
double PixelsToTwipsY(int pixels);
// Twips per pixel, horizontally, as the screen gives it.
double TwipsPerPixelX();
