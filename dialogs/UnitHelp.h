#pragma once

#include <QDialog>
#include <QStringList>

class QPushButton;
class QTextBrowser;

// The documentation viewer: the program's "Trawlix.rtf", read once when the
// window is made, in a read-only rich-text view.
class TFormHelp : public QDialog
{
    Q_OBJECT

public:
    static inline const QString kFileName = QStringLiteral("Trawlix.rtf");

    // The documentation is looked for in these directories, in this order.
    explicit TFormHelp(const QStringList &directories, QWidget *parent = nullptr);

    void FormCreate(const QStringList &directories);
    // The documentation file shown; empty when none was found.
    QString documentFile() const { return m_found; }
    QString text() const;

private:
    void nameControls();

    QPushButton *ButtonClose;
    QTextBrowser *RichEdit;
    QString m_found;
};
