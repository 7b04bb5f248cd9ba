#pragma once

#include <QDialog>

#include <functional>

class QSpinBox;
class TItemTree;

// "Select files at least W x H": ticks the new files whose size check found
// them at least as wide and as high as the user asks.
class TFormAtLeast : public QDialog
{
    Q_OBJECT

public:
    explicit TFormAtLeast(TItemTree *tree, QWidget *parent = nullptr);

    // How the result reaches the user; a message box unless replaced.
    void setMessageSink(std::function<void(const QString &)> sink) { m_message = std::move(sink); }

    // Handlers.
    void ButtonSelectClick();

private:
    QSpinBox *SpinEditWidth;
    QSpinBox *SpinEditHeight;
    TItemTree *m_tree;
    std::function<void(const QString &)> m_message;
};
