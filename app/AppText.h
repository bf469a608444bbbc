#pragma once
// The shell's own texts and names, each written once. The link's texts (among them the
// application name used as the caption of every message box) stay in LinkText.

#include "link/LinkEngine.h"

namespace kestrun::AppText {

/// Caption of the main frame; it never shows the document's name.
inline constexpr const char* FrameCaption = "Tavrel";
/// The application name: settings key, and caption of the shell's message boxes.
inline constexpr const char* AppName = LinkText::AppName;
/// Company key of the per-user settings store.
inline constexpr const char* CompanyKey = "Local AppWizard-Generated Applications";
/// Group of the recent-file list in the settings store, and its key pattern (1 to 8).
inline constexpr const char* RecentFileGroup = "Recent File List";
inline constexpr const char* RecentFileKey = "File%1";
/// Group of the folders the file dialogs last used, and its two keys.
inline constexpr const char* LastFolderGroup = "Last Folders";
inline constexpr const char* SettingsFolderKey = "Settings";
inline constexpr const char* UpgradeFolderKey = "Upgrade";

/// The only filter of the open and save dialogs, and the name a new document proposes.
inline constexpr const char* FileFilter = "All Files (*.*)";
inline constexpr const char* UntitledName = "Untitled";

/// The About box.
inline constexpr const char* AboutCaption = "About Kestrun";
inline constexpr const char* AboutProductLine = "Kestrun    Version 1.3";
inline constexpr const char* AboutRightsLine = "Copyright (C) 2026 the Kestrun authors";
inline constexpr const char* OkButton = "OK";
inline constexpr const char* LicencesButton = "&Licences...";
inline constexpr const char* NoticesCaption = "Kestrun Licences";

/// Reverse-DNS name of the desktop entry, the icon and the metainfo.
inline constexpr const char* DesktopFileName = "org.kestrun.Kestrun";

/// Set to anything but empty, the shell prints its message boxes on standard error instead of
/// showing them (scripted runs without a person at the screen, and the tests that start the
/// program as a process).
inline constexpr const char* MessagesToStderrVariable = "KESTRUN_MESSAGES_TO_STDERR";

} // namespace kestrun::AppText
