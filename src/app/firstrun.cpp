#include "firstrun.h"

#include "app/terminationsignals.h"
#include "core/files/newconfig.h"
#include "core/state/texts.h"
#include "ui/desktop/firstrundialog.h"

#include <QCoreApplication>

void askForServerAddress(const QString &configFile, TerminationSignals &termination,
                         const std::function<void(const QString &problem)> &written)
{
    auto *dialog = new FirstRunDialog(texts::AppTitle);
    const auto quit = [] { QCoreApplication::exit(1); };
    QObject::connect(dialog, &QDialog::rejected, dialog, quit);
    QObject::connect(&termination, &TerminationSignals::received, dialog, quit);
    QObject::connect(dialog, &FirstRunDialog::addressChosen, dialog, [configFile, written](const QString &address) {
        written(writeNewConfig(configFile, address));
    });
    dialog->open();
}
