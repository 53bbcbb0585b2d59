#pragma once
// The first start's question for the catalogue server's address (`firstRunDialog`): one
// line to type it, a line under it that says what is wrong with it, OK and Cancel.
//
// open() shows it application-modal and returns at once. OK is enabled only while the
// address is usable (see checkServerAddress()); pressing it closes the dialog and announces
// addressChosen() with the address to store (storedServerAddress()). Cancel, Escape
// and a close request give rejected(). The dialog deletes itself once closed, and its
// closing never ends the program by itself.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class FirstRunDialog : public QDialog
{
    Q_OBJECT
public:
    explicit FirstRunDialog(const QString &title, QWidget *parent = nullptr);

    QLineEdit *addressEdit() const { return m_addressEdit; }

signals:
    void addressChosen(const QString &address);

private:
    void checkAddress();
    void chooseAddress();

    QLineEdit *m_addressEdit;
    QLabel *m_problemLabel;
    QPushButton *m_okButton;
};
