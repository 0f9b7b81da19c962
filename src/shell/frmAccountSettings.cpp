// The window settings kept between runs: position, floating, and starting with the desktop session.

#include "frmAccount.h"

#include "Display.h"
#include "MsgBox.h"
#include "NulMarker.h"
#include "RegFunctions.h"
#include "Twips.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cmath>

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

// The position that centres a window of this size, in twips.
QPoint CentredTwips(const QSize &window)
{
    const QSize screen = ScreenTwips();
    return QPoint((screen.width() - window.width()) / 2, (screen.height() - window.height()) / 2);
}

QSize WindowTwips(const QWidget &window)
{
    return QSize(static_cast<int>(std::lround(PixelsToTwipsX(window.width()))),
                 static_cast<int>(std::lround(PixelsToTwipsY(window.height()))));
}

} // namespace

void frmAccount::RestoreSettings()
{
    const bool launch = GetRegString(RunKey, RunValue, NulMarker, HKEY_CURRENT_USER) != NulMarker;
    launchState_ = launch ? Qt::Checked : Qt::Unchecked;
    const bool floating =
        GetRegString(ProgramKey, QStringLiteral("FormTopMost"), NulMarker, HKEY_CURRENT_USER).toUpper() ==
        QStringLiteral("TRUE");
    floatState_ = floating ? Qt::Checked : Qt::Unchecked;
    ApplyFloating(floatState_);
    RestorePosition();
}

QPoint frmAccount::CentredPosition() const
{
    const QPoint centred = CentredTwips(WindowTwips(*this));
    return QPoint(TwipsToPixelsX(centred.x()), TwipsToPixelsY(centred.y()));
}

void frmAccount::RestorePosition()
{
    const QSize windowTwips = WindowTwips(*this);
    const QPoint centred = CentredTwips(windowTwips);
    QPoint at(GetRegLong(ProgramKey, QStringLiteral("FormStartX"), centred.x(), HKEY_CURRENT_USER),
              GetRegLong(ProgramKey, QStringLiteral("FormStartY"), centred.y(), HKEY_CURRENT_USER));
    const QSize screen = ScreenTwips();
    if (at.x() > screen.width() || at.y() > screen.height())
        at = CentredTwips(windowTwips);
    move(TwipsToPixelsX(at.x()), TwipsToPixelsY(at.y()));
    // Until the window is shown, the position to store is the one read.
    SavedLeft = at.x();
    SavedTop = at.y();
}

void frmAccount::chkFloat_Click()
{
    ApplyFloating(chkFloat->checkState());
}

void frmAccount::ApplyFloating(Qt::CheckState state)
{
    if (state == Qt::PartiallyChecked)
        return;
    const bool shown = isVisible();
    const QPoint at = pos();
    setWindowFlag(Qt::WindowStaysOnTopHint, state == Qt::Checked);
    // Changing the flag hides the window and may forget its place: put both back.
    move(at);
    if (shown)
        show();
}

// The window's place, as the next run should restore it: where it was closed with its close box,
// or, in a run without such a close, where it last stood while visible (or the place read at start).
void frmAccount::RecordPosition()
{
    SavedLeft = static_cast<std::int32_t>(std::lround(PixelsToTwipsX(x())));
    SavedTop = static_cast<std::int32_t>(std::lround(PixelsToTwipsY(y())));
}

void frmAccount::StoreSettings()
{
    const std::int32_t root = HKEY_CURRENT_USER;
    // Boxes that were never made still hold what start-up read.
    const Qt::CheckState launch = chkLaunch ? chkLaunch->checkState() : launchState_;
    const Qt::CheckState floating = chkFloat ? chkFloat->checkState() : floatState_;
    if (launch == Qt::Checked)
        SetRegString(RunKey, RunValue, QCoreApplication::applicationFilePath(), root);
    else if (launch == Qt::Unchecked)
        DeleteRegValue(RunKey, RunValue, root);
    if (!MakeSureProgramKeyExists())
        MsgBox(QStringLiteral("Unable to save registry information."), vbOKOnly | vbCritical);
    if (floating == Qt::Checked)
        SetRegString(ProgramKey, QStringLiteral("FormTopMost"), QStringLiteral("True"), root);
    else if (floating == Qt::Unchecked)
        DeleteRegValue(ProgramKey, QStringLiteral("FormTopMost"), root);
    if (!ProgramPlacesWindows())
        return;
    if (isVisible() && !closedWithCloseBox_)
        RecordPosition();
    SetRegLong(ProgramKey, QStringLiteral("FormStartX"), SavedLeft, root);
    SetRegLong(ProgramKey, QStringLiteral("FormStartY"), SavedTop, root);
}

// Keys need no creating here: what matters is that the program's key can be written.
bool frmAccount::MakeSureProgramKeyExists()
{
    return CreateRegKey(ProgramKey, QString(), HKEY_CURRENT_USER);
}
