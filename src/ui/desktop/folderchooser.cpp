#include "folderchooser.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>

#include <utility>

FolderChooser::FolderChooser(QString title, QObject *parent)
    : QObject(parent)
    , m_title(std::move(title))
{
}

void FolderChooser::open()
{
    if (m_dialog) {
        m_dialog->raise();
        m_dialog->activateWindow();
        return;
    }
    auto *dialog = new QFileDialog(QApplication::activeWindow(), m_title, QDir::homePath());
    dialog->setObjectName(QStringLiteral("snapshotFolderDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    connect(dialog, &QDialog::finished, this, [this, dialog](int result) {
        const QStringList chosen = dialog->selectedFiles();
        emit folderChosen(result == QDialog::Accepted && !chosen.isEmpty() ? chosen.first() : QString());
    });
    m_dialog = dialog;
    dialog->open();
}

QFileDialog *FolderChooser::dialog() const
{
    return m_dialog;
}
