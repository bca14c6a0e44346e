#include "app/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/dialog_units.h"
#include "app/resources.h"

namespace rw {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kAboutCaption));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    auto* layout = new DialogUnitLayout(this, QSize(217, 95));

    auto* icon = new QLabel(this);
    icon->setPixmap(LoadApplicationIcon().pixmap(32, 32));
    icon->setObjectName(QStringLiteral("icon"));
    layout->AddWidget(icon, QRect(11, 17, 20, 20), /*fitText=*/true);

    auto addText = [&](const char* text, QRect units) {
        auto* label = new QLabel(QString::fromUtf8(text), this);
        label->setTextFormat(Qt::PlainText);
        layout->AddWidget(label, units, /*fitText=*/true);
    };
    addText(kAboutVersion, QRect(40, 10, 119, 8));
    addText(kAboutNotice, QRect(40, 25, 119, 8));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->AddWidget(ok, QRect(178, 7, 32, 14));
    addText(kAboutCredit, QRect(40, 39, 68, 8));
    addText(kAboutContact, QRect(40, 52, 78, 8));
    addText(kAboutWeb, QRect(40, 65, 158, 8));
}

}  // namespace rw
