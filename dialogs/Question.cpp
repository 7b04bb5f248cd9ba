#include "Question.h"

#include <QMessageBox>

std::optional<bool> AskQuestion(QWidget *parent, const QString &title, const QString &question, bool withCancel)
{
    QMessageBox box(QMessageBox::Question, title, question,
                    QMessageBox::Yes | QMessageBox::No | (withCancel ? QMessageBox::Cancel : QMessageBox::NoButton),
                    parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(withCancel ? QMessageBox::Cancel : QMessageBox::No);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return true;
    case QMessageBox::No:
        return false;
    default:
        return withCancel ? std::nullopt : std::optional<bool>(false);
    }
}
