#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class QPlainTextEdit;
class QPushButton;
class THttpCli;
class TMemoryStream;
struct THttpReply;

// The version information window: fetches a plain-text file about the latest
// version with a client of its own (no proxy) and shows it.
class TFormWebInfo : public QDialog
{
    Q_OBJECT

public:
    static inline const QString kNoAddress = QStringLiteral(
        "This build has no update address,\nso it asks no server about a newer version.");

    explicit TFormWebInfo(QWidget *parent = nullptr);
    ~TFormWebInfo() override;

    // Where the text about the latest version is fetched; empty (as built
    // by default) means nowhere.
    void setUrl(const QString &url);
    // Ends a fetch under way, as the program closes.
    void abort();

    THttpCli *HttpInfo() const { return m_httpInfo.get(); }

    // Handlers.
    void ButtonGetClick();
    void HttpInfoRequestDone();
    // Busy while a fetch is under way: its answer comes later, with the client's done event.
    bool fetching() const { return m_fetching; }
    void FormActivate();


protected:
    void showEvent(QShowEvent *event) override;

private:
    void nameControls();
    void fetchEnded(const THttpReply &result);

    QPushButton *ButtonClose;
    QPushButton *ButtonGet;
    QPlainTextEdit *MemoInfo;

    void showText(const QString &text, const QColor &color);

    std::unique_ptr<THttpCli> m_httpInfo;
    std::unique_ptr<TMemoryStream> m_body;
    bool m_fetching = false;
};
