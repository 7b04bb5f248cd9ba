#include "UnitPassword.h"

#include "PasswordField.h"
#include "Controls.h"
#include "Counters.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

TFormPassword::TFormPassword(TLogin &login, QWidget *parent)
    : QDialog(parent)
    , m_login(login)
{
    setWindowTitle(QStringLiteral("Trawlix - Username & Password"));
    auto *form = new QFormLayout(this);
    EditUsername = new QLineEdit(this);
    EditPassword = new QLineEdit(this);
    MakePasswordField(EditPassword);
    form->addRow(QStringLiteral("Username:"), EditUsername);
    form->addRow(QStringLiteral("Password:"), EditPassword);
    auto *buttons = new QHBoxLayout;
    ButtonOk = HintedButton(QStringLiteral("&Ok"), QStringLiteral("Save and close window"), this);
    ButtonCancel = HintedButton(QStringLiteral("&Cancel"), QStringLiteral("Cancel and close window"), this);
    ButtonOk->setAutoDefault(false);
    ButtonCancel->setAutoDefault(false);
    buttons->addStretch();
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonCancel);
    form->addRow(buttons);
    connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(EditUsername, &QLineEdit::textEdited, this, [this](const QString &text) { m_login.Username = text; });
    connect(EditPassword, &QLineEdit::textEdited, this, [this](const QString &text) { m_login.Password = text; });
    EditUsername->installEventFilter(this);
    EditPassword->installEventFilter(this);
    setFixedSize(sizeHint().expandedTo(QSize(300, 0)).expandedTo(TitleRoom(*this)));
    nameControls();
}

void TFormPassword::nameControls()
{
    NameControls({
        {EditUsername, "EditUsername"},
        {EditPassword, "EditPassword"},
        {ButtonOk, "ButtonOk"},
        {ButtonCancel, "ButtonCancel"},
    });
}

void TFormPassword::showEvent(QShowEvent *event)
{
    // A link's URL may have brought a new login since the window was last open.
    EditUsername->setText(m_login.Username);
    EditPassword->setText(m_login.Password);
    FormActivate();
    QDialog::showEvent(event);
}

void TFormPassword::FormActivate()
{
    EditUsername->setFocus();
}

bool TFormPassword::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == EditUsername)
                EditPassword->setFocus();
            else
                ButtonOk->click();
            return true; // the key goes no further
        }
    }
    return QDialog::eventFilter(watched, event);
}
