#include "messagebox.h"

#include <QMessageBox>

QMessageBox *openStopMessage(QWidget *parent, const QString &title, const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    auto *box = new QMessageBox(QMessageBox::Critical, title, shown, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}
