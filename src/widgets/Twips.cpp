#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace {

constexpr double TwipsPerInch = 1440.0;

double DotsPerInchX()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchX() : 96.0;
}

double DotsPerInchY()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

} // namespace

int TwipsToPixelsX(double twips)
{
    return static_cast<int>(std::lround(twips * DotsPerInchX() / TwipsPerInch));
}

int TwipsToPixelsY(double twips)
{
    return static_cast<int>(std::lround(twips * DotsPerInchY() / TwipsPerInch));
}

double PixelsToTwipsX(int pixels)
{
    return pixels * TwipsPerInch / DotsPerInchX();
}

double PixelsToTwipsY(int pixels)
{
    return pixels * TwipsPerInch / DotsPerInchY();
}

double TwipsPerPixelX()
{
    return TwipsPerInch / DotsPerInchX();
}
