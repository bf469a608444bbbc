#include "app/CKestrunApp.h"

#include "app/AppText.h"
#include "app/CAboutDlg.h"
#include "app/KestrunViewShell.h"
#include "app/ShellPrompts.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace kestrun {

CKestrunApp::CKestrunApp(CommandLine options, ViewFactory factory)
    : options_(std::move(options)), factory_(std::move(factory)) {
    if (!factory_) {
        factory_ = [this](SettingsRecord& record, QString& error) {
            return makeKestrunViewShell(options_, record, error);
        };
    }
}

CKestrunApp::~CKestrunApp() {
    // The view may still be asked for the record while the frame goes; unhook it first.
    document_.setView(nullptr);
    frame_.reset();
    view_.reset();
}

bool CKestrunApp::InitInstance() {
    // A screenshot run leaves the user's settings as they were.
    recentFiles_.setPersistent(options_.screenshot.isEmpty());
    recentFiles_.load();

    QString error;
    view_ = factory_(document_.record(), error);
    if (!view_) {
        showShellMessage(nullptr, error, QString::fromLatin1(AppText::AppName));
        return false;
    }
    frame_ = std::make_unique<CMainFrame>();
    frame_->setWindowIcon(applicationIcon());
    frame_->setView(view_->widget());
    frame_->setCloseGuard([this] { return view_->queryClose(); });
    view_->setUpgradeFolder(
        recentFiles_.folder(RecentFileList::Folder::Upgrade), [this](const QString& folder) {
            recentFiles_.rememberFolder(RecentFileList::Folder::Upgrade, folder);
        });
    document_.setView(view_.get());
    registerCommands();
    showRecentFiles();

    if (options_.settingsFile.isEmpty()) {
        document_.OnNewDocument();
        view_->OnInitialUpdate();
        return true;
    }
    return OpenDocumentFile(options_.settingsFile, options_.settingsFileBytes);
}

int CKestrunApp::run() {
    if (!options_.screenshot.isEmpty()) {
        // The settings notices queued at start-up (a loaded file) are handled first.
        QCoreApplication::sendPostedEvents();
        const QString problem = view_->saveScreenshot(options_.screenshot);
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "kestrun: cannot write the screenshot %s: %s\n",
                         QFile::encodeName(options_.screenshot).constData(),
                         problem.toLocal8Bit().constData());
            return 1;
        }
        return 0;
    }
    frame_->show();
    return QApplication::exec();
}

void CKestrunApp::registerCommands() {
    frame_->setCommandHandler(CommandId::FileNew, [this] { OnFileNew(); });
    frame_->setCommandHandler(CommandId::FileOpen, [this] { OnFileOpen(); });
    frame_->setCommandHandler(CommandId::FileSave, [this] { OnFileSave(); });
    frame_->setCommandHandler(CommandId::FileSaveAs, [this] { OnFileSaveAs(); });
    frame_->setCommandHandler(CommandId::AppExit, [this] { OnAppExit(); });
    frame_->setCommandHandler(CommandId::AppAbout, [this] { OnAppAbout(); });
    // One pane only: the pane keys are taken and do nothing. The Edit commands get no handler
    // and so stay disabled.
    frame_->setCommandHandler(CommandId::NextPane, [] {});
    frame_->setCommandHandler(CommandId::PreviousPane, [] {});
}

void CKestrunApp::showRecentFiles() {
    frame_->setRecentFiles(recentFiles_.entries(), [this](int index) { OnOpenRecentFile(index); });
}

void CKestrunApp::OnFileNew() {
    document_.OnNewDocument();
    view_->OnInitialUpdate();
}

void CKestrunApp::OnFileOpen() {
    const std::optional<QString> path =
        promptFileName(frame_.get(), FileDialogKind::Open, QString(),
                       recentFiles_.folder(RecentFileList::Folder::Settings));
    if (path && !path->isEmpty()) {
        OpenDocumentFile(*path);
    }
}

bool CKestrunApp::OpenDocumentFile(const QString& path, const QByteArray& systemPath) {
    const SettingsFileResult result = document_.OnOpenDocument(path, systemPath);
    if (!result.ok()) {
        reportFileError(frame_.get(), result, path);
        return false;
    }
    recentFiles_.add(document_.pathName());
    rememberSettingsFolder();
    showRecentFiles();
    view_->OnInitialUpdate();
    return true;
}

void CKestrunApp::OnOpenRecentFile(int index) {
    if (index < 0 || index >= recentFiles_.entries().size()) {
        return;
    }
    const QString path = recentFiles_.entries()[index];
    if (!OpenDocumentFile(path)) {
        // A file that cannot be opened any more leaves the list.
        recentFiles_.remove(static_cast<int>(recentFiles_.entries().indexOf(path)));
        showRecentFiles();
    }
}

void CKestrunApp::OnFileSave() {
    if (document_.pathName().isEmpty()) {
        OnFileSaveAs();
        return;
    }
    DoSave(document_.pathName());
}

void CKestrunApp::OnFileSaveAs() {
    const QString proposed = document_.pathName().isEmpty()
                                 ? QString::fromLatin1(AppText::UntitledName)
                                 : document_.pathName();
    const std::optional<QString> path =
        promptFileName(frame_.get(), FileDialogKind::Save, proposed,
                       recentFiles_.folder(RecentFileList::Folder::Settings));
    if (path && !path->isEmpty()) {
        DoSave(*path);
    }
}

bool CKestrunApp::DoSave(const QString& path) {
    const SettingsFileResult result = document_.OnSaveDocument(path);
    if (!result.ok()) {
        reportFileError(frame_.get(), result, path);
        return false;
    }
    recentFiles_.add(document_.pathName());
    rememberSettingsFolder();
    showRecentFiles();
    return true;
}

void CKestrunApp::rememberSettingsFolder() {
    recentFiles_.rememberFolder(RecentFileList::Folder::Settings,
                                QFileInfo(document_.pathName()).absolutePath());
}

void CKestrunApp::OnAppAbout() {
    CAboutDlg about(frame_.get());
    about.exec();
}

void CKestrunApp::OnAppExit() {
    frame_->close();
}

} // namespace kestrun
