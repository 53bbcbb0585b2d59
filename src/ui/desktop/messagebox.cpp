#include "messagebox.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

QMessageBox *openStopMessage(QWidget *parent, const QString &title, const QString &text, const QString &detail,
                             const QString &retryCaption)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    auto *box = new QMessageBox(QMessageBox::Critical, title, shown, QMessageBox::Ok, parent);
    if (!retryCaption.isEmpty()) {
        box->addButton(QMessageBox::Retry)->setText(retryCaption);
        box->setDefaultButton(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Ok);
    }
    box->setTextFormat(Qt::PlainText);
    box->setInformativeText(detail);
    // The cause may quote an address a server sent; it is shown as written, never as markup.
    if (auto *detailLabel = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        detailLabel->setTextFormat(Qt::PlainText);
    // The parent may be a window that stays on top, such as the splash window; a window
    // manager keeps an ordinary dialog in the layer below it, out of sight.
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}
