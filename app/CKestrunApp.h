#pragma once
// The application: it makes the one document, frame and view of the run, carries out the
// command line, and handles the commands of the single-document pattern (New, Open, Save,
// Save As, the recent files, About, Exit). New and Open reuse the document, frame and view and
// never ask to save: the document is never modified.

#include "app/CKestrunDoc.h"
#include "app/CMainFrame.h"
#include "app/CommandLine.h"
#include "app/DocumentView.h"
#include "app/RecentFileList.h"

#include <functional>
#include <memory>

namespace kestrun {

/// Makes the view over the document's record (and whatever link it talks through). Answers
/// null, with the reason in `error`, when it cannot.
using ViewFactory =
    std::function<std::unique_ptr<ShellView>(SettingsRecord& record, QString& error)>;

class CKestrunApp {
public:
    /// `factory` makes the view; the default makes the setup window over the link the command
    /// line chose.
    explicit CKestrunApp(CommandLine options, ViewFactory factory = {});
    ~CKestrunApp();
    CKestrunApp(const CKestrunApp&) = delete;
    CKestrunApp& operator=(const CKestrunApp&) = delete;

    /// Start-up: the recent-file list, document, view and frame, then the command line's
    /// command (a new document, or the settings file it names). False when that failed (the
    /// message has been shown): the program then ends without showing a window.
    bool InitInstance();
    /// After a successful start-up: renders the screenshot the command line asked for and
    /// answers its exit code, or shows the frame and runs until it is closed.
    int run();

    // --- the commands ----------------------------------------------------------------------
    void OnFileNew();
    void OnFileOpen();
    void OnFileSave();
    void OnFileSaveAs();
    void OnOpenRecentFile(int index);
    void OnAppAbout();
    void OnAppExit();
    /// Opens `path` as the document: on success the path enters the recent-file list and the
    /// view gets its repeated initial update; on failure the message is shown and the
    /// document and the controls stay as they were. `systemPath`: the name as the system spells
    /// it, where it has one (the command line's).
    bool OpenDocumentFile(const QString& path, const QByteArray& systemPath = {});

    CMainFrame* frame() const { return frame_.get(); }
    CKestrunDoc& document() { return document_; }
    ShellView* view() const { return view_.get(); }
    RecentFileList& recentFiles() { return recentFiles_; }

private:
    void registerCommands();
    void showRecentFiles();
    /// The document's folder is where the settings dialogs start next time.
    void rememberSettingsFolder();
    bool DoSave(const QString& path);

    CommandLine options_;
    ViewFactory factory_;
    RecentFileList recentFiles_;
    CKestrunDoc document_;
    // Destroyed in reverse order: the frame (and with it the view's window, which stops the
    // link) goes first, then the view's adapter with the bridge it talks through.
    std::unique_ptr<ShellView> view_;
    std::unique_ptr<CMainFrame> frame_;
};

} // namespace kestrun
