#include "messagebox.h"

#include <QMessageBox>

void showStopMessage(QWidget *parent, const QString &title, const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QMessageBox box(QMessageBox::Critical, title, shown, QMessageBox::Ok, parent);
    box.exec();
}
