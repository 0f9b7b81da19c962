#include "SecretField.h"

#include <QAccessible>
#include <QLineEdit>
#include <QStyle>

#include <memory>

namespace {

constexpr const char *SecretProperty = "tarnwickSecretField";
QAccessible::UpdateHandler forwardTo = nullptr;

// The protected field of a text event, when it hides its text.
const QLineEdit *SecretFieldOf(const QAccessibleEvent &event)
{
    const auto *field = qobject_cast<const QLineEdit *>(event.object());
    return field && field->property(SecretProperty).toBool() && field->echoMode() != QLineEdit::Normal ? field
                                                                                                       : nullptr;
}

QString Masked(const QLineEdit &field, const QString &text)
{
    const QChar mask(field.style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, &field));
    return QString(text.size(), mask);
}

// The same event with the field's mask in place of its text; nothing for any other event.
std::unique_ptr<QAccessibleEvent> MaskedEvent(QAccessibleEvent &event)
{
    const QLineEdit *field = SecretFieldOf(event);
    if (!field)
        return nullptr;
    QObject *object = event.object();
    switch (event.type()) {
    case QAccessible::TextInserted: {
        const auto &inserted = static_cast<QAccessibleTextInsertEvent &>(event);
        return std::make_unique<QAccessibleTextInsertEvent>(object, inserted.changePosition(),
                                                            Masked(*field, inserted.textInserted()));
    }
    case QAccessible::TextRemoved: {
        const auto &removed = static_cast<QAccessibleTextRemoveEvent &>(event);
        return std::make_unique<QAccessibleTextRemoveEvent>(object, removed.changePosition(),
                                                            Masked(*field, removed.textRemoved()));
    }
    case QAccessible::TextUpdated: {
        const auto &updated = static_cast<QAccessibleTextUpdateEvent &>(event);
        return std::make_unique<QAccessibleTextUpdateEvent>(object, updated.changePosition(),
                                                            Masked(*field, updated.textRemoved()),
                                                            Masked(*field, updated.textInserted()));
    }
    default:
        return nullptr;
    }
}

void Deliver(QAccessibleEvent *event)
{
    if (forwardTo) {
        forwardTo(event);
        return;
    }
    // Without a handler, Qt passes the event to the desktop's accessibility bus itself.
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
}

void MaskSecretFields(QAccessibleEvent *event)
{
    const std::unique_ptr<QAccessibleEvent> masked = MaskedEvent(*event);
    Deliver(masked ? masked.get() : event);
    QAccessible::installUpdateHandler(MaskSecretFields);
}

} // namespace

void ProtectSecretField(QLineEdit &field)
{
    static const QAccessible::UpdateHandler previous = QAccessible::installUpdateHandler(MaskSecretFields);
    forwardTo = previous;
    field.setProperty(SecretProperty, true);
}
