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

namespace {

constexpr int ShiftMask = 1;
constexpr int CtrlMask = 2;
constexpr int AltMask = 4;
constexpr int vbKeyInsert = 45;

int ShiftState(Qt::KeyboardModifiers modifiers)
{
    return (modifiers & Qt::ShiftModifier ? ShiftMask : 0) | (modifiers & Qt::ControlModifier ? CtrlMask : 0) |
           (modifiers & Qt::AltModifier ? AltMask : 0);
}

int KeyCodeOf(int key)
{
    if (key == Qt::Key_Insert)
        return vbKeyInsert;
    return key;
}

// The character the key produces: its text, or for Ctrl with a letter the control character the
// letter stands for (Ctrl+C is 3), which some platforms leave out of the text.
int CharacterOf(const QKeyEvent &event)
{
    if (!event.text().isEmpty())
        return event.text().at(0).unicode();
    const bool ctrlOnly = (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == Qt::ControlModifier;
    if (ctrlOnly && event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z)
        return event.key() - Qt::Key_A + 1;
    return 0;
}

bool PastDragDistance(const QPoint &start, const QPoint &now)
{
    return (now - start).manhattanLength() >= QApplication::startDragDistance();
}

} // namespace

bool TextBox::DispatchKey(const QKeyEvent &event)
{
    int keyCode = KeyCodeOf(event.key());
    events_.txt_KeyDown(index_, keyCode, ShiftState(event.modifiers()));
    int keyAscii = CharacterOf(event);
    if (keyAscii == 0)
        return true;
    events_.txt_KeyPress(index_, keyAscii);
    return keyAscii != 0;
}

void TextBox::StartCopyDrag(QWidget *source, const QString &selectedText)
{
    auto *drag = new QDrag(source);
    auto *data = new QMimeData;
    data->setText(selectedText);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
}

SingleLineTextBox::SingleLineTextBox(int index, const QString &tag, TextBoxEvents &events, QWidget *parent)
    : QLineEdit(parent), TextBox(index, tag, events)
{
    connect(this, &QLineEdit::textChanged, this, [this] { DispatchChange(); });
}

void SingleLineTextBox::keyPressEvent(QKeyEvent *event)
{
    if (DispatchKey(*event))
        QLineEdit::keyPressEvent(event);
}

void SingleLineTextBox::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    // A click that brings the focus would put the cursor where it lands; select after it instead.
    selectOnRelease_ = event->reason() == Qt::MouseFocusReason;
    DispatchGotFocus();
}

bool SingleLineTextBox::InSelection(const QPoint &position)
{
    const int at = cursorPositionAt(position);
    return hasSelectedText() && at >= selectionStart() && at < selectionStart() + selectionLength();
}

void SingleLineTextBox::mousePressEvent(QMouseEvent *event)
{
    dragPending_ = event->button() == Qt::LeftButton && InSelection(event->position().toPoint());
    dragStart_ = event->position().toPoint();
    if (!dragPending_)
        QLineEdit::mousePressEvent(event);
}

void SingleLineTextBox::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragPending_) {
        QLineEdit::mouseMoveEvent(event);
        return;
    }
    if (PastDragDistance(dragStart_, event->position().toPoint())) {
        dragPending_ = false;
        StartCopyDrag(this, selectedText());
    }
}

void SingleLineTextBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (dragPending_) {
        dragPending_ = false;
        setCursorPosition(cursorPositionAt(event->position().toPoint()));
    }
    QLineEdit::mouseReleaseEvent(event);
    if (selectOnRelease_) {
        selectOnRelease_ = false;
        DispatchGotFocus();
    }
}

void SingleLineTextBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    QLineEdit::mouseDoubleClickEvent(event);
    DispatchDblClick();
}

void SingleLineTextBox::dropEvent(QDropEvent *event)
{
    // Taken as a copy whatever the source proposed, so the source keeps its text.
    QDropEvent copy(event->position(), Qt::CopyAction, event->mimeData(), event->buttons(), event->modifiers());
    QLineEdit::dropEvent(&copy);
    event->setDropAction(Qt::CopyAction);
    event->setAccepted(copy.isAccepted());
}

MultiLineTextBox::MultiLineTextBox(int index, const QString &tag, TextBoxEvents &events, QWidget *parent)
    : QPlainTextEdit(parent), TextBox(index, tag, events)
{
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        unedited_ = unedited_ && setting_;
        DispatchChange();
    });
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
    setPlainText(text);
    setting_ = false;
}

void MultiLineTextBox::keyPressEvent(QKeyEvent *event)
{
    if (DispatchKey(*event))
        QPlainTextEdit::keyPressEvent(event);
}

void MultiLineTextBox::focusInEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusInEvent(event);
    selectOnRelease_ = event->reason() == Qt::MouseFocusReason;
    DispatchGotFocus();
}

bool MultiLineTextBox::InSelection(const QPoint &position) const
{
    const QTextCursor selection = textCursor();
    const int at = cursorForPosition(position).position();
    return selection.hasSelection() && at >= selection.selectionStart() && at < selection.selectionEnd();
}

void MultiLineTextBox::mousePressEvent(QMouseEvent *event)
{
    dragPending_ = event->button() == Qt::LeftButton && InSelection(event->position().toPoint());
    dragStart_ = event->position().toPoint();
    if (!dragPending_)
        QPlainTextEdit::mousePressEvent(event);
}

void MultiLineTextBox::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragPending_) {
        QPlainTextEdit::mouseMoveEvent(event);
        return;
    }
    if (PastDragDistance(dragStart_, event->position().toPoint())) {
        dragPending_ = false;
        StartCopyDrag(viewport(), textCursor().selectedText().replace(QChar::ParagraphSeparator, u'\n'));
    }
}

void MultiLineTextBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (dragPending_) {
        dragPending_ = false;
        setTextCursor(cursorForPosition(event->position().toPoint()));
    }
    QPlainTextEdit::mouseReleaseEvent(event);
    if (selectOnRelease_) {
        selectOnRelease_ = false;
        DispatchGotFocus();
    }
}

void MultiLineTextBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    QPlainTextEdit::mouseDoubleClickEvent(event);
    DispatchDblClick();
}

void MultiLineTextBox::dropEvent(QDropEvent *event)
{
    // Taken as a copy whatever the source proposed, so the source keeps its text.
    QDropEvent copy(event->position(), Qt::CopyAction, event->mimeData(), event->buttons(), event->modifiers());
    QPlainTextEdit::dropEvent(&copy);
    event->setDropAction(Qt::CopyAction);
    event->setAccepted(copy.isAccepted());
}
