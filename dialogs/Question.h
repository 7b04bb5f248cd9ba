#pragma once

#include <QString>

#include <optional>

class QWidget;

// A modal question with Yes and No. Esc and the window's close button answer
// No; with withCancel a Cancel button is added and they answer nothing
// (nullopt), so that a question whose No still acts can be backed out of.
std::optional<bool> AskQuestion(QWidget *parent, const QString &title, const QString &question,
                                bool withCancel = false);
