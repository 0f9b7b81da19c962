#include "WindowSettings.h"

#include "Display.h"
#include "MsgBox.h"
#include "NulMarker.h"
#include "RegFunctions.h"
#include "SettingsStore.h"
#include "Twips.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace Registry;

namespace {

const QString RunKey = RunKeyPath.toString();
const QString RunValue = QStringLiteral("Tarnwick");
const QString ProgramKey = QStringLiteral("Software\\Quillmoor\\Tarnwick");

QSize ScreenTwips()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize pixels = screen ? screen->geometry().size() : QSize(1024, 768);
    return QSize(static_cast<int>(std::lround(PixelsToTwipsX(pixels.width()))),
                 static_cast<int>(std::lround(PixelsToTwipsY(pixels.height()))));
}

// Where the desktop's panels leave room for windows, in twips.
QPoint AvailableTopLeftTwips()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QPoint pixels = screen ? screen->availableGeometry().topLeft() : QPoint();
    return QPoint(static_cast<int>(std::lround(PixelsToTwipsX(pixels.x()))),
                  static_cast<int>(std::lround(PixelsToTwipsY(pixels.y()))));
}

// The position that centres a window of this size, in twips. A window larger than the screen would be centred with
// its title bar above the screen, out of reach: it stands where the panels leave room instead.
QPoint CentredTwips(const QSize &window)
{
    const QSize screen = ScreenTwips();
    const QPoint topLeft = AvailableTopLeftTwips();
    return QPoint(std::max((screen.width() - window.width()) / 2, topLeft.x()),
                  std::max((screen.height() - window.height()) / 2, topLeft.y()));
}

QSize WindowTwips(const QWidget &window)
{
    return QSize(static_cast<int>(std::lround(PixelsToTwipsX(window.width()))),
                 static_cast<int>(std::lround(PixelsToTwipsY(window.height()))));
}

// Keys need no creating here: what matters is that the program's key can be written.
bool MakeSureProgramKeyExists()
{
    return CreateRegKey(ProgramKey, QString(), HKEY_CURRENT_USER);
}

} // namespace

void WindowSettings::Restore()
{
    const bool launch = GetRegString(RunKey, RunValue, NulMarker, HKEY_CURRENT_USER) != NulMarker;
    launch_ = launch ? Qt::Checked : Qt::Unchecked;
    const bool floating =
        GetRegString(ProgramKey, QStringLiteral("FormTopMost"), NulMarker, HKEY_CURRENT_USER).toUpper() ==
        QStringLiteral("TRUE");
    Floating(floating ? Qt::Checked : Qt::Unchecked);
    RestorePosition();
}

QPoint WindowSettings::CentredPosition() const
{
    const QPoint centred = CentredTwips(WindowTwips(window_));
    return QPoint(TwipsToPixelsX(centred.x()), TwipsToPixelsY(centred.y()));
}

void WindowSettings::RestorePosition()
{
    const QSize windowTwips = WindowTwips(window_);
    const QPoint centred = CentredTwips(windowTwips);
    QPoint at(GetRegLong(ProgramKey, QStringLiteral("FormStartX"), centred.x(), HKEY_CURRENT_USER),
              GetRegLong(ProgramKey, QStringLiteral("FormStartY"), centred.y(), HKEY_CURRENT_USER));
    const QSize screen = ScreenTwips();
    if (at.x() > screen.width() || at.y() > screen.height())
        at = centred;
    window_.move(TwipsToPixelsX(at.x()), TwipsToPixelsY(at.y()));
    // Until the window is shown, the place to store is the one read.
    SavedLeft = at.x();
    SavedTop = at.y();
}

void WindowSettings::Floating(Qt::CheckState state)
{
    floating_ = state;
    if (state == Qt::PartiallyChecked)
        return;
    const bool shown = window_.isVisible();
    const QPoint at = window_.pos();
    window_.setWindowFlag(Qt::WindowStaysOnTopHint, state == Qt::Checked);
    // Changing the flag hides the window and may forget its place: put both back.
    window_.move(at);
    if (shown)
        window_.show();
}

void WindowSettings::RecordPlace()
{
    if (!closedWithCloseBox_)
        TakePlace();
}

void WindowSettings::RecordClosingPlace()
{
    TakePlace();
    closedWithCloseBox_ = true;
}

void WindowSettings::TakePlace()
{
    SavedLeft = static_cast<std::int32_t>(std::lround(PixelsToTwipsX(window_.x())));
    SavedTop = static_cast<std::int32_t>(std::lround(PixelsToTwipsY(window_.y())));
}

void WindowSettings::Store(bool unattended)
{
    const std::int32_t root = HKEY_CURRENT_USER;
    if (launch_ == Qt::Checked)
        SetRegString(RunKey, RunValue, QCoreApplication::applicationFilePath(), root);
    else if (launch_ == Qt::Unchecked)
        DeleteRegValue(RunKey, RunValue, root);
    if (!MakeSureProgramKeyExists()) {
        if (unattended)
            std::fprintf(stderr, "tarnwick: Unable to save registry information: %s cannot be written.\n",
                         qPrintable(SettingsStore::FilePath()));
        else
            MsgBox(QStringLiteral("Unable to save registry information."), MsgBoxIcon::Critical);
    }
    if (floating_ == Qt::Checked)
        SetRegString(ProgramKey, QStringLiteral("FormTopMost"), QStringLiteral("True"), root);
    else if (floating_ == Qt::Unchecked)
        DeleteRegValue(ProgramKey, QStringLiteral("FormTopMost"), root);
    if (!ProgramPlacesWindows())
        return;
    if (window_.isVisible())
        RecordPlace();
    SetRegLong(ProgramKey, QStringLiteral("FormStartX"), SavedLeft, root);
    SetRegLong(ProgramKey, QStringLiteral("FormStartY"), SavedTop, root);
}
