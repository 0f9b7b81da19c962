#include "LoggedOnForm.h"
#include "RegFunctions.h"
#include "ScriptedModals.h"
#include "Twips.h"

#include <QCheckBox>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

using namespace Registry;

namespace {

const QString ProgramKey = QStringLiteral("Software\\Quillmoor\\Tarnwick");
const QString RunKey = RunKeyPath.toString();
const QString Absent = QString(QChar(0));

QString Stored(const QString &key, const QString &value)
{
    return GetRegString(key, value, Absent, HKEY_CURRENT_USER);
}

std::int32_t StoredNumber(const QString &value)
{
    return GetRegLong(ProgramKey, value, -1, HKEY_CURRENT_USER);
}

// The left edge, in twips, that centres the window.
int CentredLeft(const QWidget &window)
{
    const int screen = static_cast<int>(std::lround(PixelsToTwipsX(QGuiApplication::primaryScreen()->size().width())));
    return (screen - static_cast<int>(std::lround(PixelsToTwipsX(window.width())))) / 2;
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void positionIsCorrectedOnlyBeyondTheScreen_data();
    void positionIsCorrectedOnlyBeyondTheScreen();
    void floatingTakesEffectAtOnce();
    void unshownRunKeepsThePositionRead();
    void failedStartWritesBackWhatItRead();
    void unwritableStoreIsReported();

private:
    std::unique_ptr<FormFixture> fixture_;
    std::unique_ptr<frmAccount> form_;
};

void TestSettings::init()
{
    fixture_ = std::make_unique<FormFixture>();
}

void TestSettings::cleanup()
{
    form_.reset();
    fixture_.reset();
}

void TestSettings::positionIsCorrectedOnlyBeyondTheScreen_data()
{
    QTest::addColumn<int>("left");
    QTest::addColumn<bool>("centred");
    QTest::newRow("beyond the right edge") << 1000000 << true;
    QTest::newRow("partly off the left edge") << -500 << false;
}

void TestSettings::positionIsCorrectedOnlyBeyondTheScreen()
{
    QFETCH(int, left);
    QFETCH(bool, centred);
    SetRegLong(ProgramKey, QStringLiteral("FormStartX"), left, HKEY_CURRENT_USER);
    SetRegLong(ProgramKey, QStringLiteral("FormStartY"), 100, HKEY_CURRENT_USER);
    form_ = fixture_->LoadForm();
    QCOMPARE(form_->x(), TwipsToPixelsX(centred ? CentredLeft(*form_) : left));
    QVERIFY(centred == (form_->y() != TwipsToPixelsY(100)));
}

void TestSettings::floatingTakesEffectAtOnce()
{
    form_ = fixture_->LoadForm();
    form_->show();
    form_->move(50, 60);
    const QPoint before = form_->pos();
    form_->chkFloat->setChecked(true);
    QVERIFY(form_->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(form_->isVisible());
    QCOMPARE(form_->pos(), before);
    form_->chkFloat->setChecked(false);
    QVERIFY(!(form_->windowFlags() & Qt::WindowStaysOnTopHint));
    QVERIFY(form_->isVisible());
}

void TestSettings::unshownRunKeepsThePositionRead()
{
    SetRegLong(ProgramKey, QStringLiteral("FormStartX"), 300, HKEY_CURRENT_USER);
    SetRegLong(ProgramKey, QStringLiteral("FormStartY"), 400, HKEY_CURRENT_USER);
    form_ = fixture_->LoadForm();
    form_->Unload();
    QCOMPARE(StoredNumber(QStringLiteral("FormStartX")), 300);
    QCOMPARE(StoredNumber(QStringLiteral("FormStartY")), 400);
}

void TestSettings::failedStartWritesBackWhatItRead()
{
    SetRegString(RunKey, QStringLiteral("Tarnwick"), QStringLiteral("/somewhere/tarnwick"), HKEY_CURRENT_USER);
    SetRegString(ProgramKey, QStringLiteral("FormTopMost"), QStringLiteral("True"), HKEY_CURRENT_USER);
    SetRegLong(ProgramKey, QStringLiteral("FormStartX"), 300, HKEY_CURRENT_USER);
    ScriptedModals modals{Answer::Button(vbOK)};
    frmAccount form;
    QVERIFY(!form.Form_Load(fixture_->file().folder() + QStringLiteral("/missing.mdb")));
    QVERIFY(Stored(RunKey, QStringLiteral("Tarnwick")) != Absent);
    QCOMPARE(Stored(ProgramKey, QStringLiteral("FormTopMost")), QStringLiteral("True"));
    QCOMPARE(StoredNumber(QStringLiteral("FormStartX")), 300);
}

void TestSettings::unwritableStoreIsReported()
{
    // A file where the store's folder belongs makes every write fail.
    const QString folder = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Tarnwick");
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    form_ = fixture_->LoadForm();
    ScriptedModals modals{Answer::Button(vbOK)};
    form_->Unload();
    QCOMPARE(modals.log(), QStringList{QStringLiteral("MsgBox[16]: Unable to save registry information.")});
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
