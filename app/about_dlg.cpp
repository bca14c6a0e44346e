#include "app/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/dialog_units.h"
#include "app/resources.h"
#include "platform/data_paths.h"

namespace rw {

std::filesystem::path ReadmePath() {
    const DataLayout docs{RW_DOC_DIR_FROM_BIN, RW_INSTALLED_DOC_DIR};
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path found = FindDataFileIn("README.md", DataSearchPathFor(self, docs));
    return found.empty() ? (docs.installed / "README.md").lexically_normal() : found;
}

QString AboutContactLine() {
    return QStringLiteral("Contact: see ") + QString::fromStdString(ReadmePath().string());
}

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
    // The contact line names the README's full path, so it reaches to the dialog's right margin.
    auto* contact = new QLabel(AboutContactLine(), this);
    contact->setTextFormat(Qt::PlainText);
    contact->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->AddWidget(contact, QRect(40, 52, 170, 8), /*fitText=*/true);
    addText(kAboutWeb, QRect(40, 65, 158, 8));
}

}  // namespace rw
