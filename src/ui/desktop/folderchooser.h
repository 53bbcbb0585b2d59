#pragma once
// Asks the user for a folder with a file dialog (`snapshotFolderDialog`) that does not
// hold up the program: open() shows it over the active window and returns at once;
// folderChosen() brings the answer, an empty path when the user cancelled. A second
// open() while the dialog shows only raises it.
#include <QObject>
#include <QPointer>
#include <QString>

class QFileDialog;

class FolderChooser : public QObject
{
    Q_OBJECT
public:
    explicit FolderChooser(QString title, QObject *parent = nullptr);

    void open();
    // The dialog while it is open.
    QFileDialog *dialog() const;

signals:
    void folderChosen(const QString &folder);

private:
    QString m_title;
    QPointer<QFileDialog> m_dialog;
};
