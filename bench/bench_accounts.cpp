// The main window with a user of 100,000 accounts: logging on until the window shows the filled
// list, picking another account (save and show), picking to and from an account whose comment is
// one long unbroken run, and the memory the loaded list takes.

#include "AccountDatabase.h"
#include "Cipher.h"
#include "Modal.h"
#include "Program.h"
#include "Text.h"
#include "UserName.h"
#include "Users.h"
#include "frmAccount.h"
#include "frmGetPass.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace {

constexpr int AccountCount = 100000;
const QString Password = QStringLiteral("bench");

// Answers every password dialog with the password.
class PasswordAnswer final : public ModalRunner
{
public:
    int Run(QDialog &dialog) override
    {
        if (auto *form = qobject_cast<frmGetPass *>(&dialog)) {
            form->show();
            form->txtPass->setText(Password);
            form->cmdOk->click();
        }
        return dialog.result();
    }
};

double ResidentMegabytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

QString MakeDatabase(const QTemporaryDir &folder)
{
    const QString path = folder.filePath(QStringLiteral("AccountInfo.mdb"));
    CreateAccountDatabase(path.toStdString());
    const auto database = OpenAccountDatabase(path.toStdString());
    const std::u16string name = GetWindowsUserName().value().toStdU16String();
    AddUser(*database, name, HashPassword(Password.toStdU16String()));
    const std::u16string key = name + u"1";
    Transaction transaction(*database);
    AccountSet accounts(database, 1);
    for (int i = 1; i <= AccountCount; ++i) {
        const std::u16string n = ToDecimal(i);
        accounts.Add(AccountFields{u"Account " + n, u"user" + n, CryptString(key, u"secret" + n),
                                   u"https://example.org/" + n, u"+1 555 " + n, u"A note about account " + n});
    }
    transaction.Commit();
    return path;
}

struct Bench
{
    QTemporaryDir config;
    QTemporaryDir folder;
    QString database;
    PasswordAnswer answer;

    Bench()
    {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        database = MakeDatabase(folder);
        SetModalRunner(&answer);
    }
};

Bench &Shared()
{
    static Bench bench;
    return bench;
}

void BM_LogOnUntilListShown(benchmark::State &state)
{
    bool first = true;
    for (auto _ : state) {
        state.PauseTiming();
        auto form = std::make_unique<Program>();
        form->Load(Shared().database);
        const double before = ResidentMegabytes();
        state.ResumeTiming();
        form->TrayDoubleClicked();
        QApplication::processEvents();
        state.PauseTiming();
        if (!form->Window().isVisible() || form->Window().findChild<QListWidget *>()->count() != AccountCount)
            state.SkipWithError("the window did not show the list");
        // Later runs reuse the memory the first one freed: only the first shows the growth.
        if (first)
            state.counters["loaded_MB"] = ResidentMegabytes() - before;
        first = false;
        form.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LogOnUntilListShown)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PickAnotherAccount(benchmark::State &state)
{
    Program form;
    form.Load(Shared().database);
    form.TrayDoubleClicked();
    QListWidget &list = *form.Window().findChild<QListWidget *>();
    int row = 0;
    for (auto _ : state) {
        form.Window().findChild<QLineEdit *>(QStringLiteral("Phone"))->setText(QString::number(row));
        row = (row * 7919 + 13) % AccountCount;
        list.setCurrentRow(row);
    }
    if (form.AcctWasChanged())
        state.SkipWithError("the edit was not saved");
}
BENCHMARK(BM_PickAnotherAccount)->Unit(benchmark::kMillisecond);

// The last account's comment made an unbroken run of state.range(0) characters; with state.range(1) 0 the timed pick
// leaves that account after an edit (saving the comment and showing a short one), with 1 it shows that account.
void BM_PickWithLongComment(benchmark::State &state)
{
    const auto length = static_cast<qsizetype>(state.range(0));
    const bool towards = state.range(1) != 0;
    const QString comment = QStringLiteral("0123456789abcdef").repeated(length / 16 + 1).left(length);
    {
        AccountSet accounts(OpenAccountDatabase(Shared().database.toStdString()), 1);
        AccountFields fields = *accounts.Read(AccountCount);
        fields[static_cast<std::size_t>(AccountField::Comment)] = comment.toStdU16String();
        accounts.Write(AccountCount, fields);
    }
    Program form;
    form.Load(Shared().database);
    form.TrayDoubleClicked();
    const int longRow = AccountCount - 1;
    const int shortRow = AccountCount - 2;
    auto *phone = form.Window().findChild<QLineEdit *>(QStringLiteral("Phone"));
    QListWidget &list = *form.Window().findChild<QListWidget *>();
    int edit = 0;
    for (auto _ : state) {
        state.PauseTiming();
        list.setCurrentRow(towards ? shortRow : longRow);
        phone->setText(QString::number(++edit));
        state.ResumeTiming();
        list.setCurrentRow(towards ? longRow : shortRow);
    }
    if (form.AcctWasChanged() ||
        (form.Window().findChild<QPlainTextEdit *>()->toPlainText().size() == length) != towards)
        state.SkipWithError("the edit was not saved or the account not shown");
}
BENCHMARK(BM_PickWithLongComment)
    ->ArgNames({"comment", "towards"})
    ->ArgsProduct({{300000, 1 << 20}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
