#pragma once

#include "FailureReport.h"

#include <QPoint>

#include <optional>

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
    void Store(Reporting how);

    Qt::CheckState Launch() const { return stored_.launch ? Qt::Checked : Qt::Unchecked; }
    void Launch(Qt::CheckState state) { stored_.launch = state == Qt::Checked; }
    Qt::CheckState Floating() const { return stored_.floating ? Qt::Checked : Qt::Unchecked; }
    // Makes the window float above others, or not, keeping its place.
    void Floating(Qt::CheckState state);

    // The window's place, as the next run should restore it: where it was closed with its close box, or, in a run
    // without such a close, where it last stood while visible (or the place read at start).
    void RecordPlace();
    void RecordClosingPlace();
    // Where the window stands centred on the screen, in pixels.
    QPoint CentredPosition() const;

private:
    // What the autostart entry and the settings file keep.
    struct Stored
    {
        bool launch = false;
        bool floating = false;
        // The window's top left in the settings file's own unit; nothing when the file holds none.
        std::optional<QPoint> place;

        static Stored Read();
        // Writes them all, the place only when asked and there is one; false when the settings file cannot be
        // written.
        bool Write(bool withPlace) const;
    };

    void ApplyFloating();
    void TakePlace();

    QWidget &window_;
    Stored stored_;
    bool closedWithCloseBox_ = false;
};
