// The main window, part: the slot lamps and bars, the status counts and the screen update.
#include "UnitMain.h"

#include "ItemTree.h"
#include "Lamp.h"
#include "RunProgress.h"
#include "RunState.h"
#include "SizeCheck.h"
#include "StatusPanels.h"
#include "TreeCommands.h"
#include "UnitConfiguration.h"
#include "UnitMain_p.h"

#include <algorithm>

#include <QComboBox>
#include <QLabel>

#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include <limits>

using namespace MainWindowLook;

void TFormMain::setSlotLamp(int slot, bool lit)
{
    m_slotLit[slot - 1] = lit;
    if (!m_displayTimer->isActive())
        m_displayTimer->start();
}

bool TFormMain::slotLampLit(int slot) const
{
    return m_slotLit[slot - 1];
}

// Transfers report every block; lamps and bars show the latest state a few
// times a second, since painting on every change cost more than the transfer.
void TFormMain::setSlotProgress(int slot, qint64 position, qint64 maximum, bool exact)
{
    m_slotProgress[slot - 1] = {position, maximum};
    m_slotExact[slot - 1] = exact;
    if (!m_displayTimer->isActive())
        m_displayTimer->start();
}

void TFormMain::showSlotProgress()
{
    for (int k = 0; k < kSlots; ++k) {
        const auto [position, maximum] = m_slotProgress[k];
        paintSlotProgress(ProgressBars[k], position, maximum);
        Lamps[k]->setEnabled(m_slotLit[k]);
        // The bars are a few pixels high: the percent is in their hint.
        const bool percent = m_slotExact[k] && maximum > 0 && m_slotLit[k];
        ProgressBars[k]->setToolTip(percent ? QStringLiteral("%1 - %2% of %3")
                                                  .arg(m_slotHint[k])
                                                  .arg(position * 100 / maximum)
                                                  .arg(ByteSizeText(maximum))
                                            : m_slotHint[k]);
    }
    if (m_treeDirty)
        TreeView->viewport()->update();
    m_treeDirty = false;
    if (m_remainingShown != m_remaining) {
        m_remainingShown = m_remaining;
        StatusBar->setText(6, QStringLiteral(" Downloads left: ") + QString::number(m_remaining));
    }
}

void TFormMain::setRemainingCount(int remaining)
{
    m_remaining = remaining;
    if (!m_displayTimer->isActive())
        m_displayTimer->start();
}

void TFormMain::paintSlotProgress(QProgressBar *bar, qint64 position, qint64 maximum)
{
    if (maximum <= 0) {
        bar->setRange(0, 1); // empty; a range of 0 to 0 would show a busy bar
        bar->setValue(0);
        return;
    }
    // The bar counts in int: very large bodies are shown in KiB.
    const int shift = maximum > std::numeric_limits<int>::max() ? 10 : 0;
    bar->setRange(0, int(maximum >> shift));
    bar->setValue(int(std::clamp<qint64>(position, 0, maximum) >> shift));
}

void TFormMain::setSlotHint(int slot, const QString &hint)
{
    m_slotHint[slot - 1] = hint;
    ProgressBars[slot - 1]->setToolTip(hint);
}

void TFormMain::showDownloadProgress(const TRunProgress::Figures &figures)
{
    StatusBar->setText(0, RunProgressText(figures));
    showRunFigures(RunProgressLines(figures));
    setWindowTitle(RunTitleText(figures, kProductName));
}

void TFormMain::downloadRunEnded(const TRunProgress::Figures &figures)
{
    const QString summary = RunSummaryText(figures);
    StatusBar->setText(0, kNotActive + QStringLiteral(" - ") + summary);
    QStringList lines = summary.split(QStringLiteral(", "));
    // Skipped files are the user's own limit at work: the way to change it is one click away.
    if (figures.skipped > 0) {
        for (QString &line : lines)
            line = line.toHtmlEscaped();
        lines << QStringLiteral("<a href=\"limits\">Change the size limits\u2026</a>");
    }
    showRunFigures(lines);
    if (!isActiveWindow())
        m_notify(kProductName, QStringLiteral("Download finished: ") + summary);
}

void TFormMain::sizeLimitsRequested()
{
    if (!Configuration)
        return;
    Configuration->showPage(0); // File download, where the limits are
    Configuration->exec();
}

// Under the slot bars, where there is room for the figures whatever the
// window's width; the panel grows by their lines.
void TFormMain::showRunFigures(const QStringList &lines)
{
    const bool link = !lines.isEmpty() && lines.last().startsWith(QLatin1String("<a "));
    LabelRunFigures->setTextFormat(link ? Qt::RichText : Qt::PlainText);
    LabelRunFigures->setText(lines.join(link ? QStringLiteral("<br>") : QStringLiteral("\n")));
    LabelRunFigures->show();
    showSlotCount(m_shownSlots); // the panel grows with the lines, as they wrap
}

void TFormMain::treeReplaced()
{
    LabelUrlInfo->clear();
    BlankPreviewImage();
    LabelRunFigures->clear();
    LabelRunFigures->hide();
    showSlotCount(m_shownSlots);
}

void TFormMain::showPageFailure(const QString &reason)
{
    TreeView->setEmptyText(reason.isEmpty() ? kEmptyTreeHint : QStringLiteral("The page was not fetched:\n") + reason);
}

void TFormMain::crawlRunEnded(const QString &summary)
{
    if (summary.startsWith(QLatin1String("Found")) || summary.startsWith(QLatin1String("Links parsed")))
        StatusBar->setText(0, QStringLiteral(" Status: ") + summary);
    if (!isActiveWindow())
        m_notify(kProductName, summary);
    // The check is a run of its own, begun once the scan's run has returned.
    if (m_sizeCheck && Configuration && Configuration->scanSettings().checkSizes)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!m_run.busy() && !m_closing)
                    m_sizeCheck->start(TreeCommands::FilesNotChecked(TreeView));
            },
            Qt::QueuedConnection);
}

void TFormMain::setCounts(int items, int selected, int remaining)
{
    StatusBar->setText(4, QStringLiteral(" Items: ") + QString::number(items));
    StatusBar->setText(5, QStringLiteral(" Selected: ") + QString::number(selected));
    StatusBar->setText(6, QStringLiteral(" Downloads left: ") + QString::number(remaining));
    m_remaining = m_remainingShown = remaining;
}

void TFormMain::refreshTree()
{
    // Changed items repaint themselves; the rest of the tree follows with the bars.
    m_treeDirty = true;
    if (!m_displayTimer->isActive())
        m_displayTimer->start();
}

void TFormMain::UpdateScreen()
{
    const bool busy = m_run.busy();
    if (!busy) {
        ShowBar(false, 0, 0);
        setWindowTitle(kProductName);
    }
    StatusBar->setText(0, kNotActive);
    const bool idle = !busy;
    if (Configuration)
        Configuration->setSlotCountEditable(idle);
    for (QWidget *w : std::initializer_list<QWidget *>{ComboBoxBookmark, ComboBoxDownload, ButtonLoadHtml,
                                                       ButtonDirectory, LabelDownload, LabelUrl})
        w->setEnabled(idle);
    LampBusy->setEnabled(busy);
    ButtonStop->setEnabled(LampBusy->isLit());
    ButtonStart->setEnabled(!LampBusy->isLit());
    const bool haveNodes = TreeView->nodeCount() > 0;
    ButtonDownload->setEnabled(haveNodes && !LampBusy->isLit());
    ButtonParse->setEnabled(haveNodes && !LampBusy->isLit());
    // While a run is busy the File menu offers Quit alone, which asks first.
    const bool fileIdle = !ButtonStop->isEnabled();
    Saveallitemstodisk1->setEnabled(fileIdle && haveNodes);
    ExportUrls1->setEnabled(fileIdle);
    OpenDownloadFolder1->setEnabled(fileIdle);
    if (fileIdle)
        updateLoadItemsEntry();
    else
        Loaditemsfromdisk1->setEnabled(false);
    if (PopupMenuTreeView)
        PopupMenuTreeViewPopup(); // the menu's keys follow the busy state too
}

void TFormMain::UpdatePanels()
{
    const bool progress = Displaydownloadengineprogress1->isChecked();
    const bool preview = Displayimagepreview1->isChecked();
    if (PanelRight->isVisible())
        m_previewWidth = PanelRight->width(); // kept while the panels are hidden
    PanelRight->setVisible(progress || preview);
    PanelProgress->setVisible(progress);
    PanelPreview->setVisible(preview);
    UpdateScreen();
}

void TFormMain::ShowBar(bool show, qint64 position, qint64 maximum)
{
    const bool visible = show && maximum > 0;
    Gauge->setVisible(visible);
    if (visible) {
        // The gauge counts in int: very large bodies are shown in KiB.
        const int shift = maximum > std::numeric_limits<int>::max() ? 10 : 0;
        Gauge->setMaximum(int(maximum >> shift));
        Gauge->setValue(int(std::min(position, maximum) >> shift));
    } else {
        StatusBar->setText(0, QStringLiteral(" Status: ") + QString::number(position) + QStringLiteral(" bytes retrieved"));
    }
}

void TFormMain::showSlotCount(int n)
{
    for (int k = 2; k <= kSlots; ++k) {
        Lamps[k - 1]->setVisible(k <= n);
        ProgressBars[k - 1]->setVisible(k <= n);
    }
    StatusBar->setPanelWidth(2, m_lampsLeft + n * 15 + 6);
    m_shownSlots = n;
    // Room for the figures as they wrap in the panel's width, three lines at least.
    const int lines = LabelRunFigures->isHidden() ? 0
                                                  : std::max(LabelRunFigures->heightForWidth(std::max(LabelRunFigures->width(), 40)),
                                                             LabelRunFigures->fontMetrics().lineSpacing() * 3);
    const int figures = LabelRunFigures->isHidden() ? 0 : lines + 4;
    PanelProgress->setFixedHeight(n * 6 + 32 + figures);
    fitMinimumSize();
}
