#include "firstrundialog.h"

#include "core/files/newconfig.h"
#include "core/state/firstruntexts.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

FirstRunDialog::FirstRunDialog(const QString &title, QWidget *parent)
    : QDialog(parent)
    , m_addressEdit(new QLineEdit(this))
    , m_problemLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("firstRunDialog"));
    setWindowTitle(title);
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose);
    // The program goes on, or ends, as the answer says; the dialog's closing is no
    // reason to quit.
    setAttribute(Qt::WA_QuitOnClose, false);

    auto *label = new QLabel(first_run_texts::AddressLabel, this);
    label->setBuddy(m_addressEdit);
    m_addressEdit->setMinimumWidth(fontMetrics().averageCharWidth() * 48);
    m_problemLabel->setTextFormat(Qt::PlainText);
    m_problemLabel->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_okButton = buttons->button(QDialogButtonBox::Ok);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_addressEdit);
    layout->addWidget(m_problemLabel);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_addressEdit, &QLineEdit::textChanged, this, &FirstRunDialog::checkAddress);
    connect(buttons, &QDialogButtonBox::accepted, this, &FirstRunDialog::chooseAddress);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    checkAddress();
    m_addressEdit->setFocus();
}

void FirstRunDialog::checkAddress()
{
    const ServerAddressCheck check = checkServerAddress(storedServerAddress(m_addressEdit->text()));
    m_okButton->setEnabled(check == ServerAddressCheck::Usable);
    m_problemLabel->setText(check == ServerAddressCheck::NotAnAddress ? first_run_texts::NotAnAddress
                            : check == ServerAddressCheck::NotABase   ? first_run_texts::NotABase
                            : check == ServerAddressCheck::TooLong    ? first_run_texts::TooLong
                                                                      : QString());
}

void FirstRunDialog::chooseAddress()
{
    const QString address = storedServerAddress(m_addressEdit->text());
    if (checkServerAddress(address) != ServerAddressCheck::Usable)
        return;
    accept();
    emit addressChosen(address);
}
