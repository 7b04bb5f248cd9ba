#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;
class QTimer;
struct TStatistics;

// A decimal text with its digits grouped in threes: "1234" gives "1 234",
// "1234567" gives "1 234 567"; texts of 1 to 3 or more than 9 characters
// (a minus sign counts) stay as they are.
QString FormatString(const QString &digits);

// The statistics window: the four counters, refreshed every second while open.
class TFormStat : public QDialog
{
    Q_OBJECT

public:
    explicit TFormStat(TStatistics &statistics, QWidget *parent = nullptr);

    // How a Yes/No question is asked; a message box unless replaced.
    void setQuestionSink(std::function<bool(const QString &)> ask) { m_ask = std::move(ask); }

    // Opening from the menu starts the refresh.
    void Statistics1Click();
    void Timer1Timer();
    void ButtonResetClick();


protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void nameControls();

    QLabel *Values[4];
    QPushButton *ButtonClose;
    QPushButton *ButtonReset;
    QTimer *Timer1;

    TStatistics &m_statistics;
    std::function<bool(const QString &)> m_ask;
};
