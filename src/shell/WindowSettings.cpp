#include "WindowSettings.h"

#include "AutostartEntry.h"
#include "Display.h"
#include "FailureReport.h"
#include "SettingsStore.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString ProgramKey = u"Software\\Quillmoor\\Tarnwick"_s;
const QString TopMostName = u"FormTopMost"_s;
const QString LeftName = u"FormStartX"_s;
const QString TopName = u"FormStartY"_s;

// The settings file keeps a place in 1/1440 inch (twips), as it always has; it is converted where it is read and
// where the window's place is taken, and the window's own pixels are used everywhere else.
constexpr double FileUnitsPerInch = 1440.0;

QPointF DotsPerInch()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? QPointF(screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY()) : QPointF(96.0, 96.0);
}

QPoint Scaled(const QPoint &place, const QPointF &factor)
{
    return QPoint(static_cast<int>(std::lround(place.x() * factor.x())),
                  static_cast<int>(std::lround(place.y() * factor.y())));
}

QPoint FromFileUnits(const QPoint &place)
{
    return Scaled(place, DotsPerInch() / FileUnitsPerInch);
}

QPoint ToFileUnits(const QPoint &pixels)
{
    const QPointF dpi = DotsPerInch();
    return Scaled(pixels, QPointF(FileUnitsPerInch / dpi.x(), FileUnitsPerInch / dpi.y()));
}

// The place that centres a window of this size. A window larger than the screen would be centred with its title bar
// above the screen, out of reach: it stands where the desktop's panels leave room for windows instead.
QPoint Centred(const QSize &window)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QPoint room = screen ? screen->availableGeometry().topLeft() : QPoint();
    const QSize spare = (screen ? screen->geometry().size() : QSize(1024, 768)) - window;
    return QPoint(std::max(spare.width() / 2, room.x()), std::max(spare.height() / 2, room.y()));
}

std::optional<std::int32_t> ReadNumber(const QString &name)
{
    const std::optional<QString> text = SettingsStore::Read(ProgramKey, name);
    bool isNumber = false;
    const std::int32_t number = text ? text->toInt(&isNumber) : 0;
    return isNumber ? std::optional(number) : std::nullopt;
}

} // namespace

WindowSettings::Stored WindowSettings::Stored::Read()
{
    const std::optional<std::int32_t> left = ReadNumber(LeftName);
    const std::optional<std::int32_t> top = ReadNumber(TopName);
    return {.launch = AutostartEntry(QCoreApplication::applicationFilePath()).enabled(),
            .floating = SettingsStore::Read(ProgramKey, TopMostName).value_or(QString()).toUpper() == u"TRUE",
            .place = left && top ? std::optional(QPoint(*left, *top)) : std::nullopt};
}

bool WindowSettings::Stored::Write(bool withPlace) const
{
    AutostartEntry(QCoreApplication::applicationFilePath()).setEnabled(launch);
    // When the program's key cannot be written, the writes below fail as well, and the person is told once.
    const bool writable = SettingsStore::CanWrite(ProgramKey);
    if (floating)
        SettingsStore::Write(ProgramKey, TopMostName, u"True"_s);
    else
        SettingsStore::Remove(ProgramKey, TopMostName);
    if (withPlace && place) {
        SettingsStore::Write(ProgramKey, LeftName, place->x());
        SettingsStore::Write(ProgramKey, TopName, place->y());
    }
    return writable;
}

void WindowSettings::Restore()
{
    stored_ = Stored::Read();
    ApplyFloating();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize size = screen ? screen->geometry().size() : QSize(1024, 768);
    const std::optional<QPoint> read = stored_.place ? std::optional(FromFileUnits(*stored_.place)) : std::nullopt;
    // A place beyond the screen (a screen since taken away, say) is not kept.
    if (read && read->x() <= size.width() && read->y() <= size.height()) {
        window_.move(*read);
        return;
    }
    window_.move(CentredPosition());
    // Until the window is shown, the place to store is the one it stands at.
    stored_.place = ToFileUnits(window_.pos());
}

QPoint WindowSettings::CentredPosition() const
{
    return Centred(window_.size());
}

void WindowSettings::Floating(Qt::CheckState state)
{
    stored_.floating = state == Qt::Checked;
    ApplyFloating();
}

void WindowSettings::ApplyFloating()
{
    const bool shown = window_.isVisible();
    const QPoint at = window_.pos();
    window_.setWindowFlag(Qt::WindowStaysOnTopHint, stored_.floating);
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
    stored_.place = ToFileUnits(window_.pos());
}

void WindowSettings::Store(Reporting how)
{
    // Wayland tells no program where its window stands: the place stored before stays as it was.
    const bool placed = ProgramPlacesWindows();
    if (placed && window_.isVisible())
        RecordPlace();
    if (stored_.Write(placed))
        return;
    // On stderr nobody sees which file it was.
    const QString failure = QStringLiteral("Unable to save registry information.");
    ReportFailure(how == Reporting::Asking
                      ? failure
                      : failure + u' ' + SettingsStore::FilePath() + QStringLiteral(" cannot be written."),
                  how);
}
