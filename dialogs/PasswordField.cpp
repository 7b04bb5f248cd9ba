#include "PasswordField.h"

#include <QAction>
#include <QIcon>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>

namespace {

QIcon eyeIcon()
{
    const QIcon themed = QIcon::fromTheme(QStringLiteral("view-visible"));
    if (!themed.isNull())
        return themed;
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::darkGray, 1.5));
    painter.drawEllipse(QRectF(1.5, 4.5, 13, 7));
    painter.setBrush(Qt::darkGray);
    painter.drawEllipse(QRectF(5.5, 5.5, 5, 5));
    return QIcon(pixmap);
}

} // namespace

void MakePasswordField(QLineEdit *edit)
{
    edit->setEchoMode(QLineEdit::Password);
    QAction *reveal = edit->addAction(eyeIcon(), QLineEdit::TrailingPosition);
    reveal->setObjectName(QStringLiteral("revealPassword"));
    reveal->setCheckable(true);
    reveal->setToolTip(QStringLiteral("Show password"));
    QObject::connect(reveal, &QAction::toggled, edit, [edit, reveal](bool shown) {
        edit->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        reveal->setToolTip(shown ? QStringLiteral("Hide password") : QStringLiteral("Show password"));
    });
}
