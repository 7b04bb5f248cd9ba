#pragma once

#include <QDialog>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The bookmarks window: the URL field's bookmarks as a sorted list to edit,
// delete and import into; "&Ok" puts the list back into the field.
class TFormBookMarks : public QDialog
{
    Q_OBJECT

public:
    explicit TFormBookMarks(QComboBox *urlField, QWidget *parent = nullptr);

    // Replaceable for tests: the question, the import file chooser, messages.
    void setQuestionSink(std::function<bool(const QString &)> ask) { m_ask = std::move(ask); }
    void setFileChooser(std::function<QString()> chooser) { m_chooseFile = std::move(chooser); }
    void setMessageSink(std::function<void(const QString &)> sink) { m_message = std::move(sink); }

    // Fills the list from the field; run each time the window opens.
    void FormActivate();
    void ListBox1Click();
    void Edit1Change();
    void ButtonAddClick();
    void ButtonDeleteClick();
    void ButtonDeleteAllClick();
    void ButtonImportClick();
    void ButtonOkClick();
    void UpdateScreen();


    // Esc closes as "&Ok" does: what was edited or imported is never lost.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void nameControls();

    QPushButton *ButtonOk;
    QPushButton *ButtonAdd;
    QPushButton *ButtonDelete;
    QPushButton *ButtonDeleteAll;
    QPushButton *ButtonImport;
    QListWidget *ListBox1;
    QLabel *LabelEdit;
    QLineEdit *Edit1;

    void addSorted(const QStringList &entries);

    QComboBox *m_urlField;
    std::function<bool(const QString &)> m_ask;
    std::function<QString()> m_chooseFile;
    std::function<void(const QString &)> m_message;
};
