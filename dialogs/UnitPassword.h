#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
struct TLogin;

// The username and password window: its two fields are the login every
// request for a protected site sends; what is typed is in force at once,
// whichever button closes the window.
class TFormPassword : public QDialog
{
    Q_OBJECT

public:
    explicit TFormPassword(TLogin &login, QWidget *parent = nullptr);

    void FormActivate();


protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void nameControls();

    QLineEdit *EditUsername;
    QLineEdit *EditPassword;
    QPushButton *ButtonOk;
    QPushButton *ButtonCancel;

    TLogin &m_login;
};
