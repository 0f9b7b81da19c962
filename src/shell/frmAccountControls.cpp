#include "frmAccountControls.h"

#include "SecretField.h"
#include "Twips.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include <algorithm>
#include <limits>

namespace {

constexpr int ClientWidth = 7080;
constexpr int ClientHeight = 4245;

struct Place
{
    int left, top, width, height;
};

// The window as drawn, in twips, for an 8-point font: the controls stand at these places scaled by one factor.
constexpr double DesignPointSize = 8.0;
// Nothing of a control's text comes nearer than this to the window's edges.
constexpr int EdgeMargin = 120;

struct LabelDesign
{
    const char *caption;
    Place place;
    Qt::Alignment alignment;
};

// The right-aligned labels end where their fields begin; the centred one stands over the account list.
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

constexpr Place AddAccountPlace{4560, 135, 1500, 375};
constexpr Place AccountListPlace{5100, 915, 1920, 2700};
constexpr Place LaunchPlace{120, 3690, 5100, 255};
constexpr Place FloatPlace{120, 3945, 5100, 255};

constexpr int PasswordField = 2;
constexpr int CommentField = 5;
constexpr int LineFieldHeight = 300;
constexpr int FieldsRight = 3855;

// Edges are rounded, not sizes, so that controls that meet in twips meet in pixels and never overlap.
QRect ToPixels(const Place &place, double scale)
{
    const int left = TwipsToPixelsX(place.left * scale), top = TwipsToPixelsY(place.top * scale);
    const int right = TwipsToPixelsX((place.left + place.width) * scale);
    const int bottom = TwipsToPixelsY((place.top + place.height) * scale);
    return QRect(left, top, right - left, bottom - top);
}

// The factor at which the control gets the room its style and text ask for.
double ScaleFor(const QWidget &control, const Place &place)
{
    const QSize hint = control.sizeHint();
    return std::max(PixelsToTwipsX(hint.width()) / place.width, PixelsToTwipsY(hint.height()) / place.height);
}

// The room, in twips, that a label's text may take: from the window's margin to the label's right edge, or
// between the fields and the window's margin for the label over the list.
double LabelRoom(const QLabel &label, const Place &place)
{
    if (label.alignment() & Qt::AlignRight)
        return place.left + place.width - EdgeMargin;
    return ClientWidth - EdgeMargin - (FieldsRight + EdgeMargin);
}

double ScaleForLabel(const QLabel &label, const Place &place)
{
    const QSize hint = label.sizeHint();
    return std::max(PixelsToTwipsX(hint.width()) / LabelRoom(label, place),
                    PixelsToTwipsY(hint.height()) / place.height);
}

// A label as large as its text: right-aligned ones end at their place and stand level with the first line of
// their field; the one over the list is centred on it, moved left when its text would pass the window's margin.
QRect LabelGeometry(const QLabel &label, const Place &place, const Place &field, double scale)
{
    const QSize hint = label.sizeHint();
    if (label.alignment() & Qt::AlignRight) {
        const QRect line = ToPixels({field.left, field.top, field.width, LineFieldHeight}, scale);
        const QRect at = ToPixels(place, scale);
        return QRect(at.right() + 1 - hint.width(), line.center().y() - hint.height() / 2, hint.width(), hint.height());
    }
    const QRect at = ToPixels(place, scale);
    const int rightmost = TwipsToPixelsX((ClientWidth - EdgeMargin) * scale) - hint.width();
    const int left = std::min(ToPixels(field, scale).center().x() - hint.width() / 2, rightmost);
    return QRect(left, at.center().y() - hint.height() / 2, hint.width(), hint.height());
}

} // namespace

void frmAccountControls::CreateMenus(QWidget *window)
{
    mnuFile = new QMenu(QStringLiteral("File"), window);
    mnuHide = mnuFile->addAction(QStringLiteral("&Hide"));
    mnuExit = mnuFile->addAction(QStringLiteral("&Exit"));

    mnuAcctPopUpMenu = new QMenu(QStringLiteral("AcctPopUpMenu"), window);
    mnuAddNew = mnuAcctPopUpMenu->addAction(QStringLiteral("&Add new account"));
    mnuDelete = mnuAcctPopUpMenu->addAction(QStringLiteral("&Delete account"));

    mnuPopUp = new QMenu(QStringLiteral("Pop-up menu"), window);
    mnuOpen = mnuPopUp->addAction(QStringLiteral("&Open"));
    mnuPopUp->addSeparator();
    mnuUnLoad = mnuPopUp->addAction(QStringLiteral("&Unload"));
    mnuPopUp->addSeparator();
    mnuLeave2 = mnuPopUp->addAction(QStringLiteral("&Leave menu"));

    mnuLogOnPopUpMenu = new QMenu(QStringLiteral("BeforeLogon"), window);
    mnuLogOn = mnuLogOnPopUpMenu->addAction(QStringLiteral("&Log in"));
    mnuLogOnPopUpMenu->addSeparator();
    mnuBLUnload = mnuLogOnPopUpMenu->addAction(QStringLiteral("&Unload"));
    mnuLogOnPopUpMenu->addSeparator();
    mnuLeave1 = mnuLogOnPopUpMenu->addAction(QStringLiteral("&Leave menu"));

    mnuPassPopUp = new QMenu(QStringLiteral("PassPopUpMenu"), window);
    mnuPassCut = mnuPassPopUp->addAction(QStringLiteral("&Cut"));
    mnuPassCopy = mnuPassPopUp->addAction(QStringLiteral("C&opy"));
    mnuPassPaste = mnuPassPopUp->addAction(QStringLiteral("&Paste"));
    mnuPassDelete = mnuPassPopUp->addAction(QStringLiteral("&Delete"));
}

void frmAccountControls::CreateControls(QWidget *window)
{
    for (std::size_t i = 0; i < txt.size(); ++i) {
        const QString tag = QString::fromLatin1(FieldDesigns[i].tag);
        const int index = static_cast<int>(i);
        if (i == CommentField)
            txt[i] = new MultiLineTextBox(index, tag, window);
        else
            txt[i] = new SingleLineTextBox(index, tag, window);
    }
    auto *password = static_cast<SingleLineTextBox *>(txt[PasswordField]);
    password->setEchoMode(QLineEdit::Password);
    ProtectSecretField(*password);
    for (std::size_t i = 0; i < txt.size(); ++i) {
        if (auto *line = dynamic_cast<SingleLineTextBox *>(txt[i]))
            line->TypingLimit(FieldDesigns[i].maxLength > 0 ? FieldDesigns[i].maxLength
                                                            : std::numeric_limits<int>::max());
    }
    cmdAddAccount = new QPushButton(QStringLiteral("Add account"), window);
    lAccounts = new QListWidget(window);
    for (std::size_t i = 0; i < lbl.size(); ++i) {
        lbl[i] = new QLabel(QString::fromLatin1(LabelDesigns[i].caption), window);
        lbl[i]->setAlignment(LabelDesigns[i].alignment | Qt::AlignVCenter);
        QWidget *labelled = i < txt.size() ? txt[i]->Widget() : lAccounts;
        lbl[i]->setBuddy(labelled);
        // Screen readers name the control after its label, without the label's colon.
        labelled->setAccessibleName(lbl[i]->text().chopped(1));
        lbl[i]->setFocusPolicy(Qt::NoFocus);
    }
    lAccounts->setViewMode(QListView::ListMode);
    lAccounts->setSortingEnabled(false);
    lAccounts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    chkLaunch = new QCheckBox(QStringLiteral("Run on system startup"), window);
    chkFloat = new QCheckBox(QStringLiteral("Make this window 'floating'..."), window);
    SetTabOrder();
}

// The six fields, "Add account", the list, the two check boxes.
void frmAccountControls::SetTabOrder()
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

double frmAccountControls::FontScale(const QWidget &window)
{
    const QFont current = window.font();
    const double points =
        current.pointSizeF() > 0 ? current.pointSizeF() : current.pixelSize() * 72.0 / window.logicalDpiY();
    return std::max(1.0, points / DesignPointSize);
}

double frmAccountControls::LayoutScale(const QWidget &window) const
{
    double scale = FontScale(window);
    for (std::size_t i = 0; i < lbl.size(); ++i)
        scale = std::max(scale, ScaleForLabel(*lbl[i], LabelDesigns[i].place));
    for (std::size_t i = 0; i < txt.size(); ++i) {
        if (i != CommentField)
            scale = std::max(scale, ScaleFor(*txt[i]->Widget(), FieldDesigns[i].place));
    }
    for (auto [control, place] : {std::pair<const QWidget *, Place>{cmdAddAccount, AddAccountPlace},
                                  {chkLaunch, LaunchPlace},
                                  {chkFloat, FloatPlace}})
        scale = std::max(scale, ScaleFor(*control, place));
    return scale;
}

void frmAccountControls::Arrange(QWidget &window, QMenuBar *menuBar, double scale)
{
    const int top = menuBar && menuBar->isVisibleTo(&window) ? menuBar->sizeHint().height() : 0;
    const QSize client = ToPixels({0, 0, ClientWidth, ClientHeight}, scale).size();
    window.setFixedSize(client.width(), client.height() + top);
    if (menuBar)
        menuBar->setGeometry(0, 0, client.width(), top);
    const auto place = [top](QWidget *control, const QRect &at) { control->setGeometry(at.translated(0, top)); };
    for (std::size_t i = 0; i < lbl.size(); ++i)
        place(lbl[i], LabelGeometry(*lbl[i], LabelDesigns[i].place,
                                    i < txt.size() ? FieldDesigns[i].place : AccountListPlace, scale));
    for (std::size_t i = 0; i < txt.size(); ++i)
        place(txt[i]->Widget(), ToPixels(FieldDesigns[i].place, scale));
    place(cmdAddAccount, ToPixels(AddAccountPlace, scale));
    place(lAccounts, ToPixels(AccountListPlace, scale));
    place(chkLaunch, ToPixels(LaunchPlace, scale));
    place(chkFloat, ToPixels(FloatPlace, scale));
}

void frmAccountControls::SizeForFont(QWidget &window)
{
    window.setFixedSize(ToPixels({0, 0, ClientWidth, ClientHeight}, FontScale(window)).size());
}
