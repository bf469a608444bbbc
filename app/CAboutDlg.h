#pragma once
// The About box: the application icon, the product name with its version, the notice of
// rights, and OK.

#include <QDialog>

namespace kestrun {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

/// The application icon in every size the shell ships (16, 32, 48 and 128 pixels).
QIcon applicationIcon();

} // namespace kestrun
