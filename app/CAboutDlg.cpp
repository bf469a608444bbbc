#include "app/CAboutDlg.h"

#include "app/AppText.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>

namespace kestrun {

namespace {

/// The box's size: 177 x 67 dialog units of an 8-point dialog font (1.5 and 1.625 pixels a
/// unit), grown to whatever this platform's fonts need, so that no text is cut.
constexpr QSize AboutSize{266, 109};
constexpr int IconPixels = 32;
/// The notices are laid out in columns of up to 100 characters; the window shows them whole
/// where the screen allows.
constexpr int NoticeColumns = 100;
constexpr int NoticesHeight = 480;

/// Kestrun's own notice, the third-party notices, then each licence text, as compiled in from
/// the files the packages ship (LICENSE, THIRD-PARTY-NOTICES, packaging/licenses/).
QStringList noticeFiles() {
    QStringList files{QStringLiteral(":/notices/LICENSE"),
                      QStringLiteral(":/notices/THIRD-PARTY-NOTICES")};
    const QDir licences(QStringLiteral(":/notices/packaging/licenses"));
    for (const QString& name : licences.entryList(QDir::Files, QDir::Name)) {
        files.append(licences.filePath(name));
    }
    return files;
}

QString readNotice(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

CNoticesDlg::CNoticesDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(AppText::NoticesCaption));
    setModal(true);
    auto* choice = new QComboBox(this);
    choice->setObjectName(QStringLiteral("noticesChoice"));
    choice->setAccessibleName(QString::fromLatin1(AppText::NoticesCaption));
    auto* text = new QPlainTextEdit(this);
    text->setObjectName(QStringLiteral("noticesText"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap); // the texts are laid out in fixed columns
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    for (const QString& path : noticeFiles()) {
        choice->addItem(QFileInfo(path).fileName(), path);
    }
    auto show = [choice, text](int index) {
        text->setPlainText(readNotice(choice->itemData(index).toString()));
    };
    connect(choice, &QComboBox::currentIndexChanged, this, show);
    show(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(choice);
    layout->addWidget(text, 1);
    layout->addWidget(buttons);
    const int columns = text->fontMetrics().horizontalAdvance(QString(NoticeColumns, u'0'));
    const QSize wanted(columns + 2 * layout->contentsMargins().left() + 2 * text->frameWidth() +
                           text->verticalScrollBar()->sizeHint().width(),
                       NoticesHeight);
    resize(wanted.boundedTo(screen()->availableGeometry().size()));
}

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
    auto* licences = new QPushButton(QString::fromLatin1(AppText::LicencesButton), this);
    licences->setObjectName(QStringLiteral("aboutLicences"));
    licences->setAutoDefault(false);
    connect(licences, &QPushButton::clicked, this, [this] {
        CNoticesDlg notices(this);
        notices.exec();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(licences);
    buttons->addWidget(ok);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(21, 23, 12, 12);
    layout->setHorizontalSpacing(12);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(product, 0, 1);
    layout->addWidget(rights, 1, 1);
    layout->addLayout(buttons, 2, 0, 1, 2, Qt::AlignBottom);
    layout->setColumnStretch(1, 1);

    // A modal frame: the box cannot be resized, and it is never smaller than its contents.
    setFixedSize(AboutSize.expandedTo(sizeHint()));
    ok->setFocus();
}

} // namespace kestrun
