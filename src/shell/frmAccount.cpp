#include "frmAccount.h"

#include "AccountDatabase.h"
#include "MsgBox.h"
#include "Parameters.h"
#include "QtText.h"
#include "StoreError.h"
#include "Twips.h"
#include "UserName.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

constexpr int ClientWidth = 7080;
constexpr int ClientHeight = 4245;
constexpr int UnloadByUser = 0;
constexpr int FailedToOpenDatabase = 1;

struct Place
{
    int left, top, width, height;
};

QRect ToPixels(const Place &place)
{
    return QRect(TwipsToPixelsX(place.left), TwipsToPixelsY(place.top), TwipsToPixelsX(place.width),
                 TwipsToPixelsY(place.height));
}

struct LabelDesign
{
    const char *caption;
    Place place;
    Qt::Alignment alignment;
};

constexpr std::array<LabelDesign, 7> LabelDesigns = {{
    {"Account name:", {135, 210, 1080, 195}, Qt::AlignRight},
    {"User name:", {525, 600, 810, 195}, Qt::AlignRight},
    {"Password:", {600, 990, 735, 195}, Qt::AlignRight},
    {"URL:", {960, 1395, 375, 195}, Qt::AlignRight},
    {"Phone:", {825, 1785, 510, 195}, Qt::AlignRight},
    {"Additional text:", {300, 2175, 1035, 195}, Qt::AlignRight},
    {"Click existing account below:", {4995, 630, 2085, 195}, Qt::AlignHCenter},
}};

struct FieldDesign
{
    const char *tag;
    Place place;
    int maxLength; // 0: no limit
};

constexpr std::array<FieldDesign, 6> FieldDesigns = {{
    {"Account", {1320, 195, 2535, 300}, 50},
    {"UserName", {1440, 582, 2415, 300}, 50},
    {"Password", {1440, 969, 2415, 300}, 50},
    {"URL", {1440, 1356, 2415, 300}, 0},
    {"Phone", {1440, 1743, 2415, 300}, 50},
    {"Comment", {1440, 2130, 2415, 1455}, 0},
}};

constexpr int PasswordField = 2;
constexpr int CommentField = 5;

// The desktop's font may be wider than the one the layout was drawn for: a label too narrow for its
// caption grows away from the field it labels, keeping its right edge (or its centre), within the window.
QRect FitLabel(const QLabel &label, QRect place, int windowWidth)
{
    const QSize hint = label.sizeHint();
    if (hint.height() > place.height())
        place = QRect(place.left(), place.center().y() - hint.height() / 2, place.width(), hint.height());
    const int needed = hint.width();
    if (needed <= place.width())
        return place;
    if (label.alignment() & Qt::AlignRight)
        place.setLeft(std::max(0, place.right() - needed));
    else
        place = QRect(place.center().x() - needed / 2, place.top(), needed, place.height());
    if (place.right() >= windowWidth)
        place.moveRight(windowWidth - 1);
    place.moveLeft(std::max(0, place.left()));
    return place;
}

} // namespace

frmAccount::frmAccount()
{
    // The layout's twips were drawn for an 8-point font.
    QFont designFont = font();
    designFont.setPointSize(8);
    setFont(designFont);
    CreateControls();
    CreateMenus();
    PlaceControls();
    ConnectAccountEvents();
    setWindowIcon(QIcon(QStringLiteral(":/tarnwick.png")));
}

frmAccount::~frmAccount() = default;

void frmAccount::CreateControls()
{
    for (std::size_t i = 0; i < txt.size(); ++i) {
        const QString tag = QString::fromLatin1(FieldDesigns[i].tag);
        const int index = static_cast<int>(i);
        if (i == CommentField)
            txt[i] = new MultiLineTextBox(index, tag, *this, this);
        else
            txt[i] = new SingleLineTextBox(index, tag, *this, this);
    }
    auto *password = static_cast<SingleLineTextBox *>(txt[PasswordField]);
    password->setEchoMode(QLineEdit::Password);
    for (std::size_t i = 0; i < txt.size(); ++i) {
        if (auto *line = dynamic_cast<SingleLineTextBox *>(txt[i]))
            line->setMaxLength(FieldDesigns[i].maxLength > 0 ? FieldDesigns[i].maxLength
                                                             : std::numeric_limits<int>::max());
    }
    for (std::size_t i = 0; i < lbl.size(); ++i) {
        lbl[i] = new QLabel(QString::fromLatin1(LabelDesigns[i].caption), this);
        lbl[i]->setAlignment(LabelDesigns[i].alignment | Qt::AlignVCenter);
    }
    cmdAddAccount = new QPushButton(QStringLiteral("Add account"), this);
    lAccounts = new QListWidget(this);
    lAccounts->setViewMode(QListView::ListMode);
    lAccounts->setSortingEnabled(false);
    lAccounts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    chkLaunch = new QCheckBox(QStringLiteral("Run on system startup"), this);
    chkFloat = new QCheckBox(QStringLiteral("Make this window 'floating'..."), this);
    cmdRMessage = new QPushButton(QStringLiteral("TarnwickHiddenButton"), this);
    cmdRMessage->setVisible(false);
    connect(cmdRMessage, &QPushButton::clicked, this, [this] { cmdRMessage_Click(); });
    connect(chkFloat, &QCheckBox::stateChanged, this, [this] { chkFloat_Click(); });
}

void frmAccount::CreateMenus()
{
    mnuFile = new QMenu(QStringLiteral("File"), this);
    mnuHide = mnuFile->addAction(QStringLiteral("&Hide"));
    mnuExit = mnuFile->addAction(QStringLiteral("&Exit"));
    connect(mnuExit, &QAction::triggered, this, [this] { mnuExit_Click(); });

    mnuAcctPopUpMenu = new QMenu(QStringLiteral("AcctPopUpMenu"), this);
    mnuAddNew = mnuAcctPopUpMenu->addAction(QStringLiteral("&Add new account"));
    mnuDelete = mnuAcctPopUpMenu->addAction(QStringLiteral("&Delete account"));

    mnuPopUp = new QMenu(QStringLiteral("Pop-up menu"), this);
    mnuOpen = mnuPopUp->addAction(QStringLiteral("&Open"));
    mnuPopUp->addSeparator();
    mnuUnLoad = mnuPopUp->addAction(QStringLiteral("&Unload"));
    mnuPopUp->addSeparator();
    mnuLeave2 = mnuPopUp->addAction(QStringLiteral("&Leave menu"));
    connect(mnuOpen, &QAction::triggered, this, [this] { ShowWindow(); });
    connect(mnuUnLoad, &QAction::triggered, this, [this] { Unload(); });

    mnuLogOnPopUpMenu = new QMenu(QStringLiteral("BeforeLogon"), this);
    mnuLogOn = mnuLogOnPopUpMenu->addAction(QStringLiteral("&Log in"));
    mnuLogOnPopUpMenu->addSeparator();
    mnuBLUnload = mnuLogOnPopUpMenu->addAction(QStringLiteral("&Unload"));
    mnuLogOnPopUpMenu->addSeparator();
    mnuLeave1 = mnuLogOnPopUpMenu->addAction(QStringLiteral("&Leave menu"));
    connect(mnuLogOn, &QAction::triggered, this, [this] { mnuLogOn_Click(); });
    connect(mnuBLUnload, &QAction::triggered, this, [this] { Unload(); });

    mnuPassPopUp = new QMenu(QStringLiteral("PassPopUpMenu"), this);
    mnuPassCut = mnuPassPopUp->addAction(QStringLiteral("&Cut"));
    mnuPassCopy = mnuPassPopUp->addAction(QStringLiteral("C&opy"));
    mnuPassPaste = mnuPassPopUp->addAction(QStringLiteral("&Paste"));
    mnuPassDelete = mnuPassPopUp->addAction(QStringLiteral("&Delete"));
}

void frmAccount::PlaceControls()
{
    setFixedSize(TwipsToPixelsX(ClientWidth), TwipsToPixelsY(ClientHeight));
    for (std::size_t i = 0; i < lbl.size(); ++i)
        lbl[i]->setGeometry(ToPixels(LabelDesigns[i].place));
    for (std::size_t i = 0; i < txt.size(); ++i)
        txt[i]->Widget()->setGeometry(ToPixels(FieldDesigns[i].place));
    cmdAddAccount->setGeometry(ToPixels({4560, 135, 1500, 375}));
    lAccounts->setGeometry(ToPixels({5100, 915, 1920, 2700}));
    chkLaunch->setGeometry(ToPixels({120, 3690, 5100, 255}));
    chkFloat->setGeometry(ToPixels({120, 3945, 5100, 255}));
    cmdRMessage->setGeometry(ToPixels({420, 2895, 3240, 420}));

    // Tab order: the six fields, "Add account", the list, the two check boxes.
    QWidget *previous = txt[0]->Widget();
    for (QWidget *next : {txt[1]->Widget(), txt[2]->Widget(), txt[3]->Widget(), txt[4]->Widget(), txt[5]->Widget(),
                          static_cast<QWidget *>(cmdAddAccount), static_cast<QWidget *>(lAccounts),
                          static_cast<QWidget *>(chkLaunch), static_cast<QWidget *>(chkFloat)}) {
        setTabOrder(previous, next);
        previous = next;
    }
    for (QLabel *label : lbl)
        label->setFocusPolicy(Qt::NoFocus);
    static_cast<MultiLineTextBox *>(txt[CommentField])->setTabChangesFocus(true);
}

void frmAccount::FitLabels()
{
    for (std::size_t i = 0; i < lbl.size(); ++i)
        lbl[i]->setGeometry(FitLabel(*lbl[i], ToPixels(LabelDesigns[i].place), width()));
}

// Measuring the captions loads the fonts, which a start that ends in the tray never needs: the labels are fitted
// when the window is first shown.
void frmAccount::showEvent(QShowEvent *event)
{
    if (!labelsFitted_)
        FitLabels();
    labelsFitted_ = true;
    QWidget::showEvent(event);
}

bool frmAccount::Form_Load(const QString &databasePath)
{
    const std::string path = QFile::encodeName(databasePath).toStdString();
    return Form_Load([path] { return ::OpenAccountDatabase(path); });
}

bool frmAccount::Form_Load(const DatabaseOpener &openDatabase)
{
    setWindowTitle(QStringLiteral("Tarnwick"));
    RestoreSettings();
    EnableFields(false);
    LoggedOn_ = false;
    if (!OpenAccountDatabase(openDatabase)) {
        MsgBox(QStringLiteral("Cannot open database."), vbOKOnly | vbCritical);
        exitStatus_ = FailedToOpenDatabase;
        Unload();
        return false;
    }
    Params = std::make_unique<clsParameters>();
    Params->Database(AccountDB);
    Params->TableName(u"Parameters");
    CurrentUserName_ = GetWindowsUserName();
    LoggedOn_ = false;
    Unlocked_ = false;
    AddTrayIcon();
    LoadingAccount = false;
    return true;
}

bool frmAccount::OpenAccountDatabase(const DatabaseOpener &openDatabase)
{
    try {
        AccountDB = openDatabase();
    } catch (const std::exception &) {
        return false;
    }
    return true;
}

void frmAccount::Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    Form_Unload();
    hide();
    QCoreApplication::exit(exitStatus_);
}

void frmAccount::Form_Unload()
{
    if (AcctWasChanged() && !SaveAccount())
        MsgBox(QStringLiteral("Cannot save account changes."), vbOKOnly | vbCritical);
    StoreSettings();
    RemoveTrayIcon();
    Params.reset();
    rstAccounts.reset();
    AccountDB.reset();
}

void frmAccount::mnuExit_Click()
{
    Unload();
    std::exit(exitStatus_);
}

void frmAccount::closeEvent(QCloseEvent *event)
{
    bool cancel = false;
    Form_QueryUnload(cancel, UnloadByUser);
    event->setAccepted(!cancel);
}

void frmAccount::Form_QueryUnload(bool &Cancel, int UnloadMode)
{
    if (UnloadMode != UnloadByUser)
        return;
    RecordPosition();
    closedWithCloseBox_ = true;
    Cancel = true;
    hide();
}

void frmAccount::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Once the minimising is complete, or it would show the window again.
    if (event->type() == QEvent::WindowStateChange)
        QTimer::singleShot(0, this, [this] { Form_Resize(); });
    else if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}

void frmAccount::Form_Resize()
{
    if (isVisible() && isMinimized()) {
        if (!closedWithCloseBox_)
            RecordPosition();
        setVisible(false);
    }
}

void frmAccount::Form_Activate()
{
    SwallowKeyPress = false;
}
