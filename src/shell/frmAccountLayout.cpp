// The main window's controls and their arrangement: the window as drawn, scaled to the desktop's font.

#include "frmAccount.h"

#include "Twips.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
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
            line->TypingLimit(FieldDesigns[i].maxLength > 0 ? FieldDesigns[i].maxLength
                                                            : std::numeric_limits<int>::max());
    }
    cmdAddAccount = new QPushButton(QStringLiteral("Add account"), this);
    lAccounts = new QListWidget(this);
    for (std::size_t i = 0; i < lbl.size(); ++i) {
        lbl[i] = new QLabel(QString::fromLatin1(LabelDesigns[i].caption), this);
        lbl[i]->setAlignment(LabelDesigns[i].alignment | Qt::AlignVCenter);
        QWidget *labelled = i < txt.size() ? txt[i]->Widget() : lAccounts;
        lbl[i]->setBuddy(labelled);
        // Screen readers name the control after its label, without the label's colon.
        labelled->setAccessibleName(lbl[i]->text().chopped(1));
    }
    lAccounts->setViewMode(QListView::ListMode);
    lAccounts->setSortingEnabled(false);
    lAccounts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    chkLaunch = new QCheckBox(QStringLiteral("Run on system startup"), this);
    chkFloat = new QCheckBox(QStringLiteral("Make this window 'floating'..."), this);
    connect(chkFloat, &QCheckBox::stateChanged, this, [this] { chkFloat_Click(); });
}

// The desktop's font against the one the window was drawn for.
double frmAccount::FontScale() const
{
    const QFont current = font();
    const double points = current.pointSizeF() > 0 ? current.pointSizeF() : current.pixelSize() * 72.0 / logicalDpiY();
    return std::max(1.0, points / DesignPointSize);
}

// The smallest factor at which every control gets the room it asks for, and no smaller than the font's.
double frmAccount::LayoutScale() const
{
    double scale = FontScale();
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

// The controls at their places scaled, below the menu bar when it shows.
void frmAccount::Arrange(double scale)
{
    scale_ = scale;
    const int top = menuBar_ && menuBar_->isVisibleTo(this) ? menuBar_->sizeHint().height() : 0;
    const QSize client = ToPixels({0, 0, ClientWidth, ClientHeight}, scale).size();
    setFixedSize(client.width(), client.height() + top);
    if (menuBar_)
        menuBar_->setGeometry(0, 0, client.width(), top);
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

// Until the controls are measured before the first show, the window is sized by the font alone.
void frmAccount::ArrangeForFont()
{
    setFixedSize(ToPixels({0, 0, ClientWidth, ClientHeight}, FontScale()).size());
}

void frmAccount::SetTabOrder()
{
    // The six fields, "Add account", the list, the two check boxes.
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

// Measuring the captions loads the fonts, which a start that ends in the tray never needs: the controls are
// measured before the window is first shown. A window that stood centred is centred again at its final size.
void frmAccount::setVisible(bool visible)
{
    if (visible && !arranged_) {
        arranged_ = true;
        Editor();
        const bool wasCentred = pos() == CentredPosition();
        Arrange(LayoutScale());
        if (wasCentred)
            move(CentredPosition());
    }
    QWidget::setVisible(visible);
}
