#include "UnitAtLeast.h"

#include "Controls.h"
#include "DataRec.h"
#include "ItemTree.h"
#include "TreeCommands.h"
#include "TreeNode.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QSpinBox *pixelField(int value, QWidget *parent)
{
    auto *field = new QSpinBox(parent);
    field->setRange(1, 100000);
    field->setValue(value);
    field->setSuffix(QStringLiteral(" px"));
    return field;
}

} // namespace

TFormAtLeast::TFormAtLeast(TItemTree *tree, QWidget *parent)
    : QDialog(parent)
    , m_tree(tree)
{
    setWindowTitle(QStringLiteral("Trawlix - Select files at least W \u00d7 H"));
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(QStringLiteral("Ticks the files that \"Check size\" found at least this large:"), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto *form = new QFormLayout;
    SpinEditWidth = pixelField(800, this);
    SpinEditHeight = pixelField(600, this);
    form->addRow(QStringLiteral("&Width:"), SpinEditWidth);
    form->addRow(QStringLiteral("&Height:"), SpinEditHeight);
    layout->addLayout(form);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *select = buttons->addButton(QStringLiteral("&Select"), QDialogButtonBox::AcceptRole);
    select->setDefault(true);
    buttons->addButton(QDialogButtonBox::Close);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &TFormAtLeast::ButtonSelectClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    NameControls({{SpinEditWidth, "SpinEditWidth"}, {SpinEditHeight, "SpinEditHeight"}, {select, "ButtonSelect"}});
    setMinimumSize(TitleRoom(*this));
}

void TFormAtLeast::ButtonSelectClick()
{
    bool anyKnown = false;
    m_tree->forEachNode([&anyKnown](TTreeNode *node) { anyKnown = anyKnown || (node->item() && node->item()->width > 0); });
    const int count = TreeCommands::SelectAtLeast(m_tree, SpinEditWidth->value(), SpinEditHeight->value());
    const QString text = anyKnown ? ItemCountText(count, "checked") + QLatin1Char('.')
                                  : QStringLiteral("No file's dimensions are known yet: use \"Check size\" in the tree's menu first.");
    if (m_message)
        m_message(text);
    else
        QMessageBox::information(this, windowTitle(), text);
    if (count > 0)
        accept();
}
