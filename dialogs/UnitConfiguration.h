#pragma once

#include "Paths.h"
#include "RunSettings.h"
#include "SettingsBinding.h"
#include "TreeConfig.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QToolButton;
class TColorPicker;
class TMainForm;

// A window's place and size fitted onto the available area of its screen:
// no larger than the area (but never below its minimum), and moved so that
// the whole of it, title bar and menu included, can be seen.
QRect FitOnScreen(const QRect &window, const QRect &available, const QSize &minimum);

// The configuration window. Its controls are the settings: other parts
// of the program read a setting from its control when they need it, and
// every change takes effect at once.
class TFormConfiguration : public QDialog, public TTreeConfig, public TSettingsSource
{
    Q_OBJECT

public:
    TFormConfiguration(TMainForm *main, const TPaths &paths, QWidget *parent = nullptr);

    // Loads the settings and applies them to the main window.
    void FormCreate();
    TSettingsBinding &binding() { return m_binding; }

    // Handlers.
    void SpeedButton2Click();
    void FormActivate();
    void CheckBoxProxyClick();
    void CheckBoxAutoSelectClick();
    void CheckBoxUseFriendlyNameClick();
    void SpinEditMaxTreadsChange();
    void ChangeColors();

    // TTreeConfig
    QColor color(int slot) const override;
    bool autoSelectEnabled() const override;
    QString autoSelectFileTypes() const override;

    // TSettingsSource
    TScanSettings scanSettings() const override;
    TCrawlSettings crawlSettings() const override;
    TDownloadSettings downloadSettings() const override;

    TProxySettings proxySettings() const;
    // "Automatic save items list on close".
    bool autoSaveOnClose() const;
    // The slot count may not change while a run uses the slots.
    void setSlotCountEditable(bool editable);
    void showPage(int index);
    int pageCount() const;

signals:
    // The window was closed: what the runs read has its new values. Each
    // run reads a setting as it uses it; this is for what outlasts one use.
    void settingsChanged();

protected:
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void nameControls();

    // "File download"
    QRadioButton *RadioButtonSkip;
    QRadioButton *RadioButtonOverwrite;
    QRadioButton *RadioButtonRename;
    QSpinBox *SpinEditMaxTreads;
    QSpinBox *SpinEditRetries;
    QSpinBox *SpinEditFilesPerSlot;
    QSpinBox *SpinEditMinSize;
    QSpinBox *SpinEditMaxSize;
    QLineEdit *EditFileTypes;
    QCheckBox *CheckBoxStartAll;
    // "Parsing"
    QCheckBox *CheckBoxAddChild;
    QCheckBox *CheckBoxIncludeThumbs;
    QCheckBox *CheckBoxGetPassword;
    QCheckBox *CheckBoxExpandParse;
    QCheckBox *CheckBoxSaveHtml;
    QCheckBox *CheckBoxAutoSelect;
    QLabel *LabelAutoSelectTypes;
    QLineEdit *EditAutoSelectFileTypes;
    // "Timeout && Proxy"
    QSpinBox *SpinEditTimeoutDoc;
    QSpinBox *SpinEditTimeOutFile;
    QCheckBox *CheckBoxReuseConnections;
    QCheckBox *CheckBoxFindShown;
    QCheckBox *CheckBoxReadStylesheets;
    QCheckBox *CheckBoxKeepQuery;
    QCheckBox *CheckBoxCheckSizes;
    QCheckBox *CheckBoxProxy;
    QLabel *LabelProxy;
    QLineEdit *EditProxy;
    QLabel *LabelProxyPort;
    QLineEdit *EditProxyPort;
    QLabel *LabelProxyUsername;
    QLineEdit *EditProxyUsername;
    QLabel *LabelProxyPassword;
    QLineEdit *EditProxyPassword;
    // "General"
    QCheckBox *CheckBoxBeep;
    QCheckBox *CheckBoxUseFriendlyName;
    QCheckBox *CheckBoxItemJump;
    QCheckBox *CheckBoxCreateDir;
    QCheckBox *CheckBoxAutoSave;
    QCheckBox *CheckBoxSaveWindow;
    // "Colors": Color1 ... Color6
    TColorPicker *ColorBoxes[6];


    QWidget *buildFileDownloadPage();
    QWidget *buildParsingPage();
    QWidget *buildProxyPage();
    QWidget *buildGeneralPage();
    QWidget *buildColorsPage();
    void bindSettings();
    void placeFirstWindow();
    void keepMainWindowOnScreen();

    TMainForm *m_main;
    TPaths m_paths;
    TSettingsBinding m_binding;
    QStackedWidget *m_pages;
    QList<QToolButton *> m_tabs;
};
