#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

// The mounted local and network file systems, without the kernel's pseudo
// file systems: the "drives" of the directory chooser.
QStringList MountedDrives();

// The download directory chooser: drives, the directories of the one shown,
// a new directory, and "&Save" to put the one shown into the download field.
class TFormDirectory : public QDialog
{
    Q_OBJECT

public:
    // closed: run whichever way the window closes (the field's re-test).
    TFormDirectory(QComboBox *downloadField, std::function<void()> closed, QWidget *parent = nullptr);

    // Moves the list to the download field's directory, when it is one, and shows the window.
    void openChooser();
    QString currentDirectory() const { return m_directory; }
    void setDirectory(const QString &directory);

    void ButtonSaveClick();
    void ButtonNewClick();
    void ButtonOkClick();


protected:
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void nameControls();

    QPushButton *ButtonClose;
    QPushButton *ButtonSave;
    QPushButton *ButtonNew;
    QComboBox *DriveComboBox;
    QLabel *LabelDirectory;
    QListWidget *DirectoryListBox;
    QWidget *PanelNew;
    QLineEdit *Edit1;
    QPushButton *ButtonOk;

    void fillList();

    QComboBox *m_downloadField;
    std::function<void()> m_closed;
    QString m_directory;
};
