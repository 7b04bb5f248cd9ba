#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The about window: the program's distribution terms and where to turn.
class TFormInfo : public QDialog
{
    Q_OBJECT

public:
    explicit TFormInfo(QWidget *parent = nullptr);

private:
    void nameControls();

    QPushButton *ButtonClose;
    QLabel *LabelInfo;
};
