#include "LoggedOnForm.h"
#include "RegFunctions.h"
#include "ScriptedModals.h"
#include "Twips.h"

#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

#include <chrono>
#include <thread>

using namespace Qt::Literals::StringLiterals;
using namespace Registry;

namespace {

const QString ProgramKey = u"Software\\Quillmoor\\Tarnwick"_s;

std::int32_t StoredNumber(const QString &value)
{
    return GetRegLong(ProgramKey, value, -1, HKEY_CURRENT_USER);
}

} // namespace

// The main window's own logic: its tray events, its unload, and the settings it keeps.
class TestFrmAccount : public QObject
{
    Q_OBJECT

private slots:
    void init() { fixture_ = std::make_unique<FormFixture>(); }

    void cleanup()
    {
        form_.reset();
        fixture_.reset();
    }

    void trayEventsWaitWhileOneIsHandled()
    {
        fixture_->AddUser(FormFixture::LoginName(), u"pw"_s);
        form_ = fixture_->LoadForm();
        frmAccount *form = form_.get();
        ScriptedModals modals{Answer([form](QDialog &) {
                                  form->Form_MouseMove(TrayEvent::DoubleClick);
                                  form->Form_MouseMove(TrayEvent::ContextMenu);
                                  return QString();
                              }),
                              Answer::Password(u"pw"_s)};
        form_->Form_MouseMove(TrayEvent::DoubleClick);
        QCOMPARE(modals.log().size(), 1);
        QVERIFY(form_->isVisible());
    }

    void unattendedUnloadTriesTheSaveAgainForAWhileWithoutAsking_data()
    {
        QTest::addColumn<bool>("released");
        QTest::newRow("lock released after the first try") << true;
        QTest::newRow("lock held throughout") << false;
    }

    void unattendedUnloadTriesTheSaveAgainForAWhileWithoutAsking()
    {
        QFETCH(bool, released);
        Database &other = fixture_->database();
        other.Execute(u"INSERT INTO Accounts ([UserID],[Account]) VALUES (1,'a');");
        fixture_->AddUser(FormFixture::LoginName(), u"pw"_s);
        form_ = fixture_->LoadForm();
        {
            ScriptedModals modals{Answer::Password(u"pw"_s)};
            form_->LogOn();
        }
        static_cast<QLineEdit *>(form_->txt[1]->Widget())->setText(u"typed"_s);
        Transaction lock(other);
        other.Execute(u"INSERT INTO [Parameters] ([Name], [Value]) VALUES ('lock', '1');");
        // The first try waits out the store's 5 s for the lock and fails.
        std::thread release;
        if (released)
            release = std::thread([&lock] {
                std::this_thread::sleep_for(std::chrono::seconds(6));
                lock.Commit();
            });
        ScriptedModals modals;
        form_->UnloadUnattended();
        if (release.joinable())
            release.join();
        else
            lock.Commit();
        QCOMPARE(modals.log(), QStringList());
        QVERIFY(!form_->Session().database());
        const auto row = other.OpenRecordset(u"SELECT * FROM Accounts;");
        QCOMPARE(NullToEmpty(row->Fields(u"UserName")).ToText(), released ? u"typed" : u"");
    }

    // A run that never showed the window, or could not open the file, writes back what it read.
    void settingsReadAreKeptByARunThatDidNotChangeThem()
    {
        SetRegString(RunKeyPath.toString(), u"Tarnwick"_s, u"/somewhere/tarnwick"_s, HKEY_CURRENT_USER);
        SetRegString(ProgramKey, u"FormTopMost"_s, u"True"_s, HKEY_CURRENT_USER);
        SetRegLong(ProgramKey, u"FormStartX"_s, 300, HKEY_CURRENT_USER);
        SetRegLong(ProgramKey, u"FormStartY"_s, 400, HKEY_CURRENT_USER);
        form_ = fixture_->LoadForm();
        form_->Unload();
        QCOMPARE(StoredNumber(u"FormStartX"_s), 300);
        QCOMPARE(StoredNumber(u"FormStartY"_s), 400);

        ScriptedModals modals{Answer::Button(vbOK)};
        frmAccount failed;
        QVERIFY(!failed.Form_Load(fixture_->file().folder() + u"/missing.mdb"_s));
        QVERIFY(!GetRegString(RunKeyPath.toString(), u"Tarnwick"_s, QString(), HKEY_CURRENT_USER).isEmpty());
        QCOMPARE(GetRegString(ProgramKey, u"FormTopMost"_s, QString(), HKEY_CURRENT_USER), u"True"_s);
        QCOMPARE(StoredNumber(u"FormStartX"_s), 300);
    }

    void placeIsCorrectedOnlyBeyondTheScreen_data()
    {
        QTest::addColumn<int>("left");
        QTest::addColumn<bool>("centred");
        QTest::newRow("beyond the right edge") << 1000000 << true;
        QTest::newRow("partly off the left edge") << -500 << false;
    }

    void placeIsCorrectedOnlyBeyondTheScreen()
    {
        QFETCH(int, left);
        QFETCH(bool, centred);
        SetRegLong(ProgramKey, u"FormStartX"_s, left, HKEY_CURRENT_USER);
        SetRegLong(ProgramKey, u"FormStartY"_s, 100, HKEY_CURRENT_USER);
        form_ = fixture_->LoadForm();
        const int screen = QGuiApplication::primaryScreen()->size().width();
        QCOMPARE(form_->x(), centred ? (screen - form_->width()) / 2 : TwipsToPixelsX(left));
        QCOMPARE(form_->y() != TwipsToPixelsY(100), centred);
    }

    void unwritableSettingsAreReported()
    {
        // A file where the settings' folder belongs makes every write fail.
        QFile blocker(qEnvironmentVariable("XDG_CONFIG_HOME") + u"/Tarnwick"_s);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        form_ = fixture_->LoadForm();
        ScriptedModals modals{Answer::Button(vbOK)};
        form_->Unload();
        QCOMPARE(modals.log(), QStringList{u"MsgBox[16]: Unable to save registry information."_s});
    }

private:
    std::unique_ptr<FormFixture> fixture_;
    std::unique_ptr<frmAccount> form_;
};

QTEST_MAIN(TestFrmAccount)
#include "tst_frmaccount.moc"
