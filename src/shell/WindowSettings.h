#pragma once

#include <QPoint>

#include <cstdint>

class QWidget;

// The window settings kept between runs: the window's place, whether it floats above other windows, and whether
// the program starts with the desktop session. Read at start, applied to the window, and stored at the end.
class WindowSettings
{
public:
    explicit WindowSettings(QWidget &window) : window_(window) {}

    // Reads the settings, makes the window float when it did, and puts it at its place.
    void Restore();
    // Stores the settings; tells the person when the program's settings cannot be written, in a message box, or
    // on stderr when nobody can be asked.
    void Store(bool unattended);

    Qt::CheckState Launch() const { return launch_; }
    void Launch(Qt::CheckState state) { launch_ = state; }
    Qt::CheckState Floating() const { return floating_; }
    // Makes the window float above others, or not, keeping its place.
    void Floating(Qt::CheckState state);

    // The window's place, as the next run should restore it: where it was closed with its close box, or, in a run
    // without such a close, where it last stood while visible (or the place read at start).
    void RecordPlace();
    void RecordClosingPlace();
    // Where the window stands centred on the screen, in pixels.
    QPoint CentredPosition() const;

private:
    void RestorePosition();
    void TakePlace();

    QWidget &window_;
    Qt::CheckState launch_ = Qt::Unchecked;
    Qt::CheckState floating_ = Qt::Unchecked;
    // In twips.
    std::int32_t SavedLeft = 0;
    std::int32_t SavedTop = 0;
    bool closedWithCloseBox_ = false;
};
