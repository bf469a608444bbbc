#pragma once
// The About box: the application icon, the product name with its version, the notice of
// rights, OK, and a button that shows the licences of Kestrun and of the libraries it links.

#include <QDialog>

namespace kestrun {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

/// The licences: Kestrun's notice, the third-party notices and the full licence texts, one at
/// a time, read-only.
class CNoticesDlg : public QDialog {
    Q_OBJECT
public:
    explicit CNoticesDlg(QWidget* parent = nullptr);
};

/// The application icon in every size the shell ships (16, 32, 48 and 128 pixels).
QIcon applicationIcon();

} // namespace kestrun
