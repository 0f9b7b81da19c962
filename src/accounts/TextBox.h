#pragma once

#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>

#include <functional>

// What the receiver of a text box's events does on each, given the box's index among the editor's fields.
struct TextBoxEvents
{
    std::function<void(int Index)> Change;
    std::function<void(int Index)> GotFocus;
    std::function<void(int Index, const QKeyEvent &event)> KeyDown;
    // For a key that produces a character; true drops the character.
    std::function<bool(int Index)> KeyPress;
    std::function<void(int Index)> DblClick;
};

// One of the editor's fields: single-line or several lines, with a tag naming its
// column. Its events reach the receiver it reports to, from the moment it is given one; text
// dragged out of it or dropped onto it is always copied, never moved.
class TextBox
{
public:
    virtual ~TextBox() = default;

    virtual QWidget *Widget() = 0;
    virtual QString Text() const = 0;
    virtual void Text(const QString &text) = 0;
    virtual void SelectAll() = 0;

    int Index() const { return index_; }
    const QString &Tag() const { return tag_; }
    void ReportTo(TextBoxEvents events) { events_ = std::move(events); }

protected:
    TextBox(int index, QString tag) : index_(index), tag_(std::move(tag)) {}

    // KeyDown, then KeyPress for a produced character. False when the character was dropped and
    // the key must not reach the box.
    bool DispatchKey(const QKeyEvent &event);
    void DispatchChange();
    void DispatchGotFocus();
    void DispatchDblClick();

private:
    int index_;
    QString tag_;
    TextBoxEvents events_;
};

// The behaviour both kinds of box share, over Qt's single-line or multi-line editor.
template <typename Edit> class EditTextBox : public Edit, public TextBox
{
public:
    QWidget *Widget() override { return this; }
    void SelectAll() override { this->selectAll(); }

protected:
    EditTextBox(int index, const QString &tag, QWidget *parent);

    virtual bool InSelection(const QPoint &position) = 0;
    virtual QString SelectedText() const = 0;
    virtual void PlaceCursor(const QPoint &position) = 0;
    virtual QWidget *DragSource() { return this; }
    virtual bool MayDrag() const { return true; }
    virtual void TextChanged() { DispatchChange(); }

    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QPoint dragStart_;
    bool dragPending_ = false;
    bool selectOnRelease_ = false;
};

class SingleLineTextBox final : public EditTextBox<QLineEdit>
{
public:
    SingleLineTextBox(int index, const QString &tag, QWidget *parent) : EditTextBox(index, tag, parent) {}

    QString Text() const override { return text(); }
    // Shows the text whole, however long: the typing limit holds only what the person types and pastes.
    void Text(const QString &text) override;
    // At most this many units may be typed or pasted; a longer text the program put in may be edited, but never
    // grows beyond its length.
    void TypingLimit(int units);

private:
    bool InSelection(const QPoint &position) override;
    QString SelectedText() const override { return selectedText(); }
    // A masked password never leaves by the mouse: a drop into another program would show it.
    bool MayDrag() const override { return echoMode() == QLineEdit::Normal; }
    void PlaceCursor(const QPoint &position) override { setCursorPosition(cursorPositionAt(position)); }

    int typingLimit_ = 0;
};

class MultiLineTextBox final : public EditTextBox<QPlainTextEdit>
{
public:
    MultiLineTextBox(int index, const QString &tag, QWidget *parent);

    // The text exactly as it was set until the person edits it; edited text keeps the set text's
    // line breaks (CR LF when it had them), since the box itself knows only one kind.
    QString Text() const override;
    void Text(const QString &text) override;

private:
    bool InSelection(const QPoint &position) override;
    QString SelectedText() const override;
    void PlaceCursor(const QPoint &position) override { setTextCursor(cursorForPosition(position)); }
    QWidget *DragSource() override { return viewport(); }
    void TextChanged() override;
    void FitWrapping(const QString &text);
    void insertFromMimeData(const QMimeData *source) override;

    QString setText_;
    bool unedited_ = true;
    bool setting_ = false;
};
