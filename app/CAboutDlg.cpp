#include "app/CAboutDlg.h"

#include "app/AppText.h"

#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace kestrun {

namespace {

/// The box's size: 177 x 67 dialog units of an 8-point dialog font (1.5 and 1.625 pixels a
/// unit), grown by the layout where this platform's fonts need more room.
constexpr QSize AboutSize{266, 109};
constexpr int IconPixels = 32;

} // namespace

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 128}) {
        icon.addFile(QStringLiteral(":/icons/kestrun-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(AppText::AboutCaption));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(applicationIcon().pixmap(IconPixels, IconPixels));
    icon->setObjectName(QStringLiteral("aboutIcon"));
    auto* product = new QLabel(QString::fromLatin1(AppText::AboutProductLine), this);
    product->setTextFormat(Qt::PlainText); // the four spaces before the version stay
    product->setObjectName(QStringLiteral("aboutProduct"));
    auto* rights = new QLabel(QString::fromLatin1(AppText::AboutRightsLine), this);
    rights->setObjectName(QStringLiteral("aboutRights"));
    auto* ok = new QPushButton(QString::fromLatin1(AppText::OkButton), this);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(21, 23, 12, 12);
    layout->setHorizontalSpacing(12);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(product, 0, 1);
    layout->addWidget(rights, 1, 1);
    layout->addWidget(ok, 2, 1, Qt::AlignRight | Qt::AlignBottom);
    layout->setColumnStretch(1, 1);

    setMinimumSize(AboutSize);
    resize(AboutSize);
    ok->setFocus();
}

} // namespace kestrun
