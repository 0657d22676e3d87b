// The main window as the program runs it (ending on signals included), started on a catalog
// and converting at once, its transfer slowed: for the process test of a signal during a long
// conversion. Prints "converting" once the transfer is under way.
//
//   converting_window ROOT CATALOG PROGRAMDIR

#include "ConvertMain.h"
#include "EndOnSignals.h"
#include "InitProg.h"
#include "MsgDialogs.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    InitProg::Initialize(InitProg::RunningExecutable(QString::fromLocal8Bit(argv[0])));
    QApplication app(argc, argv);
    EndOnSignals::Install(app);
    // The question before replacing the earlier catalog is answered Yes.
    MsgDialogs::SetAnswerHook([](const MsgDialogs::DialogRequest&) { return MsgDialogs::DialogResult::Yes; });

    TMainFormHooks hooks;
    hooks.engineAvailable = [] { return true; };
    hooks.transferProgress = [reported = false](const TransferProgress&) mutable {
        if (!reported) {
            std::puts("converting");
            std::fflush(stdout);
            reported = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    };
    auto form = std::make_unique<TMainForm>(hooks);
    form->PrgPath = QString::fromLocal8Bit(argv[3]);
    form->edRootDir->setText(QString::fromLocal8Bit(argv[1]));
    form->edKatalog->setText(QString::fromLocal8Bit(argv[2]));
    form->show();
    QTimer::singleShot(0, form.get(), [&form] { form->bbConvert->click(); });
    const int exitCode = QApplication::exec();
    form.reset();
    return exitCode;
}
