#include "TextBox.h"

#include <QApplication>
#include <QDrag>
#include <QDropEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

namespace {

// Qt's wrapping of a run of characters with no break between them takes time that grows with the square of the
// run's length: seconds for 64 KB, minutes for a megabyte. Runs this long are wrapped anywhere instead.
constexpr qsizetype LongRun = 1024;

bool HasLongRun(const QString &text)
{
    qsizetype run = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > LongRun)
            return true;
    }
    return false;
}

// Text with a long unbroken run is wrapped anywhere, which costs time in proportion to its length; other text breaks
// at word boundaries, and within a word only when the word is wider than the box.
QTextOption::WrapMode WrapModeFor(const QString &text)
{
    return HasLongRun(text) ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere;
}

// Whether the key produces a character: its text, or for Ctrl with a letter the control character the letter
// stands for (Ctrl+C is 3), which some platforms leave out of the text.
bool ProducesCharacter(const QKeyEvent &event)
{
    if (!event.text().isEmpty())
        return true;
    const bool ctrlOnly = (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == Qt::ControlModifier;
    return ctrlOnly && event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z;
}

bool PastDragDistance(const QPoint &start, const QPoint &now)
{
    return (now - start).manhattanLength() >= QApplication::startDragDistance();
}

// Starts a drag of the selected text that only ever copies it.
void StartCopyDrag(QWidget *source, const QString &selectedText)
{
    auto *drag = new QDrag(source);
    auto *data = new QMimeData;
    data->setText(selectedText);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
}

} // namespace

bool TextBox::DispatchKey(const QKeyEvent &event)
{
    if (events_.KeyDown)
        events_.KeyDown(index_, event);
    return !ProducesCharacter(event) || !events_.KeyPress || !events_.KeyPress(index_);
}

void TextBox::DispatchChange()
{
    if (events_.Change)
        events_.Change(index_);
}

void TextBox::DispatchGotFocus()
{
    if (events_.GotFocus)
        events_.GotFocus(index_);
}

void TextBox::DispatchDblClick()
{
    if (events_.DblClick)
        events_.DblClick(index_);
}

template <typename Edit>
EditTextBox<Edit>::EditTextBox(int index, const QString &tag, QWidget *parent) : Edit(parent), TextBox(index, tag)
{
    QObject::connect(this, &Edit::textChanged, this, [this] { TextChanged(); });
}

template <typename Edit> void EditTextBox<Edit>::keyPressEvent(QKeyEvent *event)
{
    if (DispatchKey(*event))
        Edit::keyPressEvent(event);
}

template <typename Edit> void EditTextBox<Edit>::focusInEvent(QFocusEvent *event)
{
    Edit::focusInEvent(event);
    // A click that brings the focus would put the cursor where it lands; select after it instead.
    selectOnRelease_ = event->reason() == Qt::MouseFocusReason;
    DispatchGotFocus();
}

template <typename Edit> void EditTextBox<Edit>::mousePressEvent(QMouseEvent *event)
{
    dragPending_ = event->button() == Qt::LeftButton && MayDrag() && InSelection(event->position().toPoint());
    dragStart_ = event->position().toPoint();
    if (!dragPending_)
        Edit::mousePressEvent(event);
}

template <typename Edit> void EditTextBox<Edit>::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragPending_) {
        Edit::mouseMoveEvent(event);
        return;
    }
    if (PastDragDistance(dragStart_, event->position().toPoint())) {
        dragPending_ = false;
        StartCopyDrag(DragSource(), SelectedText());
    }
}

template <typename Edit> void EditTextBox<Edit>::mouseReleaseEvent(QMouseEvent *event)
{
    if (dragPending_) {
        dragPending_ = false;
        PlaceCursor(event->position().toPoint());
    }
    Edit::mouseReleaseEvent(event);
    if (selectOnRelease_) {
        selectOnRelease_ = false;
        DispatchGotFocus();
    }
}

template <typename Edit> void EditTextBox<Edit>::mouseDoubleClickEvent(QMouseEvent *event)
{
    Edit::mouseDoubleClickEvent(event);
    DispatchDblClick();
}

template <typename Edit> void EditTextBox<Edit>::dropEvent(QDropEvent *event)
{
    // Taken as a copy whatever the source proposed, so the source keeps its text.
    QDropEvent copy(event->position(), Qt::CopyAction, event->mimeData(), event->buttons(), event->modifiers());
    Edit::dropEvent(&copy);
    event->setDropAction(Qt::CopyAction);
    event->setAccepted(copy.isAccepted());
}

template class EditTextBox<QLineEdit>;
template class EditTextBox<QPlainTextEdit>;

// Qt's own limit cuts any text set beyond it: it is raised to hold the text for as long as that is shown.
// Changing the limit sets the box's text again, so it is lowered only once the shorter text is in.
void SingleLineTextBox::Text(const QString &text)
{
    const int room = std::max(typingLimit_, static_cast<int>(text.size()));
    if (room > maxLength())
        setMaxLength(room);
    setText(text);
    if (room < maxLength())
        setMaxLength(room);
}

void SingleLineTextBox::TypingLimit(int units)
{
    typingLimit_ = units;
    Text(text());
}

bool SingleLineTextBox::InSelection(const QPoint &position)
{
    const int at = cursorPositionAt(position);
    return hasSelectedText() && at >= selectionStart() && at < selectionStart() + selectionLength();
}

MultiLineTextBox::MultiLineTextBox(int index, const QString &tag, QWidget *parent) : EditTextBox(index, tag, parent)
{
}

void MultiLineTextBox::TextChanged()
{
    unedited_ = unedited_ && setting_;
    if (!setting_)
        FitWrapping(toPlainText());
    DispatchChange();
}

// After an edit: word wrapping comes back only once no long run is left in the box, so its relayout is quick.
void MultiLineTextBox::FitWrapping(const QString &text)
{
    const QTextOption::WrapMode mode = WrapModeFor(text);
    if (wordWrapMode() != mode)
        setWordWrapMode(mode);
}

// Pasted or dropped text is laid out as it goes in: the wrapping must suit it before.
void MultiLineTextBox::insertFromMimeData(const QMimeData *source)
{
    if (source->hasText() && HasLongRun(source->text()))
        setWordWrapMode(QTextOption::WrapAnywhere);
    EditTextBox::insertFromMimeData(source);
}

QString MultiLineTextBox::Text() const
{
    if (unedited_)
        return setText_;
    QString text = toPlainText();
    if (setText_.contains(QStringLiteral("\r\n")))
        text.replace(u'\n', QStringLiteral("\r\n"));
    return text;
}

void MultiLineTextBox::Text(const QString &text)
{
    setText_ = text;
    unedited_ = true;
    setting_ = true;
    if (const QTextOption::WrapMode mode = WrapModeFor(text); mode != wordWrapMode()) {
        // Rewrapping lays out the text the box holds, which for a long run under word wrapping takes seconds.
        clear();
        setWordWrapMode(mode);
    }
    setPlainText(text);
    setting_ = false;
}

bool MultiLineTextBox::InSelection(const QPoint &position)
{
    const QTextCursor selection = textCursor();
    const int at = cursorForPosition(position).position();
    return selection.hasSelection() && at >= selection.selectionStart() && at < selection.selectionEnd();
}

QString MultiLineTextBox::SelectedText() const
{
    return textCursor().selectedText().replace(QChar::ParagraphSeparator, u'\n');
}
