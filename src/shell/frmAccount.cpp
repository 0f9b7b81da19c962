#include "frmAccount.h"

#include "AccountEditor.h"
#include "SecretField.h"
#include "WindowSettings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QHideEvent>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <limits>

namespace {

#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
constexpr auto CheckStateChanged = &QCheckBox::checkStateChanged;
#else
constexpr auto CheckStateChanged = &QCheckBox::stateChanged;
#endif

struct FieldDesign
{
    const char *caption;
    const char *tag;
    int maxLength; // 0: no limit
};

constexpr std::array<FieldDesign, AccountFieldCount> FieldDesigns = {{
    {"Account name:", "Account", 50},
    {"User name:", "UserName", 50},
    {"Password:", "Password", 50},
    {"URL:", "URL", 0},
    {"Phone:", "Phone", 50},
    {"Additional text:", "Comment", 0},
}};

constexpr std::size_t PasswordField = 2;
constexpr std::size_t CommentField = 5;
// The fields and the list are as wide as this many average characters of the window's font, and the comment field
// as high as this many lines.
constexpr int FieldChars = 30;
constexpr int ListChars = 22;
constexpr int CommentLines = 5;

// A label names the control it stands by, for the keyboard (its buddy) and for screen readers (without its colon).
QLabel *LabelFor(const QString &caption, QWidget *control)
{
    auto *label = new QLabel(caption);
    label->setBuddy(control);
    control->setAccessibleName(caption.chopped(1));
    return label;
}

TextBox *MakeField(std::size_t index, const FieldDesign &design)
{
    const QString tag = QString::fromLatin1(design.tag);
    if (index == CommentField)
        return new MultiLineTextBox(static_cast<int>(index), tag, nullptr);
    auto *line = new SingleLineTextBox(static_cast<int>(index), tag, nullptr);
    line->TypingLimit(design.maxLength > 0 ? design.maxLength : std::numeric_limits<int>::max());
    if (index == PasswordField) {
        line->setEchoMode(QLineEdit::Password);
        ProtectSecretField(*line);
    }
    return line;
}

} // namespace

frmAccount::frmAccount(AccountSession &session) : session_(session), settings_(std::make_unique<WindowSettings>(*this))
{
    setWindowTitle(QStringLiteral("Tarnwick"));
    setWindowIcon(QIcon(QStringLiteral(":/tarnwick.png")));
    auto *root = new QVBoxLayout(this);
    // The window is as large as its controls ask, at the desktop's font and scale, and not resizable.
    root->setSizeConstraint(QLayout::SetFixedSize);
}

frmAccount::~frmAccount() = default;

AccountEditor &frmAccount::Editor()
{
    if (!editor_) {
        CreateControls();
        editor_ = std::make_unique<AccountEditor>(session_, AccountEditorControls{txt, lAccounts});
        connect(cmdAddAccount, &QPushButton::clicked, editor_.get(), &AccountEditor::mnuAddNew_Click);
        chkLaunch->setCheckState(settings_->Launch());
        chkFloat->setCheckState(settings_->Floating());
        connect(chkLaunch, CheckStateChanged, this, [this] { settings_->Launch(chkLaunch->checkState()); });
        connect(chkFloat, CheckStateChanged, this, [this] { settings_->Floating(chkFloat->checkState()); });
        editor_->EnableFields(false);
    }
    return *editor_;
}

// The fields with their labels at their left, the list beside them under its label and "Add account", the check
// boxes below.
void frmAccount::CreateControls()
{
    auto *beside = new QHBoxLayout;
    beside->addLayout(FieldsLayout(), 1);
    beside->addLayout(ListLayout());
    auto *root = static_cast<QVBoxLayout *>(layout());
    root->addLayout(beside);
    chkLaunch = new QCheckBox(QStringLiteral("Run on system startup"));
    chkLaunch->setObjectName(QStringLiteral("chkLaunch"));
    chkFloat = new QCheckBox(QStringLiteral("Make this window 'floating'..."));
    chkFloat->setObjectName(QStringLiteral("chkFloat"));
    root->addWidget(chkLaunch);
    root->addWidget(chkFloat);
    SetTabOrder();
    SizeForFont();
}

QLayout *frmAccount::FieldsLayout()
{
    auto *fields = new QFormLayout;
    fields->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    fields->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    for (std::size_t i = 0; i < txt.size(); ++i) {
        txt[i] = MakeField(i, FieldDesigns[i]);
        QWidget *field = txt[i]->Widget();
        field->setObjectName(txt[i]->Tag());
        fields->addRow(LabelFor(QString::fromLatin1(FieldDesigns[i].caption), field), field);
    }
    return fields;
}

QLayout *frmAccount::ListLayout()
{
    cmdAddAccount = new QPushButton(QStringLiteral("Add account"));
    cmdAddAccount->setObjectName(QStringLiteral("cmdAddAccount"));
    lAccounts = new QListWidget;
    lAccounts->setObjectName(QStringLiteral("lAccounts"));
    lAccounts->setSortingEnabled(false);
    lAccounts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QLabel *label = LabelFor(QStringLiteral("Click existing account below:"), lAccounts);
    label->setAlignment(Qt::AlignHCenter);
    auto *column = new QVBoxLayout;
    column->addWidget(cmdAddAccount, 0, Qt::AlignHCenter);
    column->addWidget(label);
    column->addWidget(lAccounts, 1);
    return column;
}

// The six fields, "Add account", the list, the two check boxes.
void frmAccount::SetTabOrder()
{
    QWidget *previous = txt[0]->Widget();
    for (QWidget *next : {txt[1]->Widget(), txt[2]->Widget(), txt[3]->Widget(), txt[4]->Widget(), txt[5]->Widget(),
                          static_cast<QWidget *>(cmdAddAccount), static_cast<QWidget *>(lAccounts),
                          static_cast<QWidget *>(chkLaunch), static_cast<QWidget *>(chkFloat)}) {
        QWidget::setTabOrder(previous, next);
        previous = next;
    }
    static_cast<MultiLineTextBox *>(txt[CommentField])->setTabChangesFocus(true);
}

// Widths and the comment's height in the window's own font, so that they follow it.
void frmAccount::SizeForFont()
{
    const QFontMetrics metrics = fontMetrics();
    txt[0]->Widget()->setMinimumWidth(metrics.averageCharWidth() * FieldChars);
    lAccounts->setMinimumWidth(metrics.averageCharWidth() * ListChars);
    auto *comment = static_cast<MultiLineTextBox *>(txt[CommentField]);
    const int frame = comment->frameWidth() * 2 + static_cast<int>(comment->document()->documentMargin() * 2);
    comment->setFixedHeight(metrics.lineSpacing() * CommentLines + frame);
}

void frmAccount::SetWithoutTray(bool withoutTray)
{
    withoutTray_ = withoutTray;
    if (withoutTray && !menuBar_) {
        menuBar_ = new QMenuBar;
        QMenu *mnuFile = menuBar_->addMenu(QStringLiteral("File"));
        mnuFile->addAction(QStringLiteral("&Hide"));
        connect(mnuFile->addAction(QStringLiteral("&Exit")), &QAction::triggered, this, &frmAccount::ExitChosen);
        layout()->setMenuBar(menuBar_);
    }
    if (menuBar_)
        menuBar_->setVisible(withoutTray);
}

// Measuring the captions loads the fonts, which a start that ends in the tray never needs: the controls are
// made before the window is first shown. A window that stood centred is centred again at its final size.
void frmAccount::ArrangeOnce()
{
    if (arranged_)
        return;
    arranged_ = true;
    const bool wasCentred = pos() == settings_->CentredPosition();
    Editor();
    layout()->activate();
    if (wasCentred)
        move(settings_->CentredPosition());
}

void frmAccount::ShowWindow()
{
    // When the window manager restored a window the program had minimised, Qt keeps the window's "start iconic"
    // hint, and showing it again would start it minimised. A new native window starts without it.
    if (std::exchange(iconicHintLeft_, false) && !isVisible())
        destroy();
    ArrangeOnce();
    showNormal();
    FinalWindowRequest();
}

void frmAccount::FinalWindowRequest()
{
    raise();
    activateWindow();
}

// The close box and the window menu's Close; the program ends only by unloading.
void frmAccount::closeEvent(QCloseEvent *event)
{
    settings_->RecordClosingPlace();
    event->ignore();
    if (withoutTray_) {
        showMinimized();
        iconicHintLeft_ = true;
    } else {
        hide();
    }
}

void frmAccount::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Once the minimising is complete, or it would show the window again.
    if (event->type() == QEvent::WindowStateChange)
        QTimer::singleShot(0, this, [this] { HideWhenMinimised(); });
    else if (event->type() == QEvent::FontChange && editor_)
        SizeForFont();
    else if (event->type() == QEvent::ActivationChange && isActiveWindow() && editor_)
        editor_->WindowActivated();
}

// A window not yet painted since it was shown may be reported minimised while the window manager frames it (GNOME 44
// and on): only the minimising of a window on the screen hides it.
void frmAccount::HideWhenMinimised()
{
    if (paintedSinceShown_ && isVisible() && isMinimized() && !withoutTray_) {
        settings_->RecordPlace();
        setVisible(false);
    }
}

void frmAccount::paintEvent(QPaintEvent *event)
{
    paintedSinceShown_ = true;
    QWidget::paintEvent(event);
}

// The window manager's minimising hides the window too, spontaneously: only the program's own hiding starts anew.
void frmAccount::hideEvent(QHideEvent *event)
{
    if (!event->spontaneous())
        paintedSinceShown_ = false;
    QWidget::hideEvent(event);
}
