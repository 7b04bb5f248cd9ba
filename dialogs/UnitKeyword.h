#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class TItemTree;
class TRunState;

// The keyword selection window: checks or unchecks every new link or file
// whose caption holds a keyword, in the current branch or the whole tree.
class TFormKeyword : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kNoneFoundMs = 1250;

    TFormKeyword(TItemTree *tree, TRunState &run, QWidget *parent = nullptr);

    // How results reach the user; a message box unless replaced.
    void setMessageSink(std::function<void(const QString &)> sink) { m_message = std::move(sink); }

    // Handlers.
    void SpeedButton2Click();
    void CheckBoxLinksClick();
    void CheckBoxFilesClick();
    void CheckBoxTagClick();
    void CheckBoxCaseClick();
    void Timer1Timer();
    void FormActivate();


protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void nameControls();

    QPushButton *ButtonSearch;
    QPushButton *ButtonClose;
    QLabel *LabelNoItems;
    QLineEdit *Edit1;
    QRadioButton *RadioButtonBranch;
    QRadioButton *RadioButtonTree;
    QCheckBox *CheckBoxLinks;
    QCheckBox *CheckBoxFiles;
    QCheckBox *CheckBoxTag;
    QCheckBox *CheckBoxCase;
    QTimer *Timer1;

    TItemTree *m_tree;
    TRunState &m_run;
    std::function<void(const QString &)> m_message;
};
