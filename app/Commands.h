#pragma once
// The frame's commands, menus and keyboard shortcuts as data. The ids are the framework's own
// command numbers, kept so the tables read as the window's resources do. A command is enabled
// exactly when a handler is registered for it; the Edit commands never get one.

#include <array>
#include <cstddef>

namespace kestrun {

enum class CommandId : int {
    None = 0,
    FileNew = 57600,
    FileOpen = 57601,
    FileSave = 57603,
    FileSaveAs = 57604,
    FileRecentFirst = 57616, ///< the placeholder, then the recent-file entries onward
    AppExit = 57665,
    EditUndo = 57643,
    EditCut = 57635,
    EditCopy = 57634,
    EditPaste = 57637,
    AppAbout = 57664,
    NextPane = 57680,
    PreviousPane = 57681,
};

/// One line of the menu bar: the menu it is in, its text, its command and up to two shortcuts
/// (the first is the one the menu shows). A line with CommandId::None is a separator.
struct MenuLine {
    const char* menu;
    const char* text;
    CommandId id;
    const char* shortcut;
    const char* alternateShortcut;
};

inline constexpr std::array<MenuLine, 14> MenuLines = {{
    {"&File", "&New", CommandId::FileNew, "Ctrl+N", nullptr},
    {"&File", "&Open...", CommandId::FileOpen, "Ctrl+O", nullptr},
    {"&File", "&Save", CommandId::FileSave, "Ctrl+S", nullptr},
    {"&File", "Save &As...", CommandId::FileSaveAs, nullptr, nullptr},
    {"&File", nullptr, CommandId::None, nullptr, nullptr},
    {"&File", "Recent File", CommandId::FileRecentFirst, nullptr, nullptr},
    {"&File", nullptr, CommandId::None, nullptr, nullptr},
    {"&File", "E&xit", CommandId::AppExit, nullptr, nullptr},
    {"&Edit", "&Undo", CommandId::EditUndo, "Ctrl+Z", "Alt+Backspace"},
    {"&Edit", nullptr, CommandId::None, nullptr, nullptr},
    {"&Edit", "Cu&t", CommandId::EditCut, "Ctrl+X", "Shift+Del"},
    {"&Edit", "&Copy", CommandId::EditCopy, "Ctrl+C", "Ctrl+Ins"},
    {"&Edit", "&Paste", CommandId::EditPaste, "Ctrl+V", "Shift+Ins"},
    {"&Help", "&About Kestrun...", CommandId::AppAbout, nullptr, nullptr},
}};

/// Shortcuts of the frame that have no menu line: the pane commands (one pane, so they do
/// nothing).
struct FrameKey {
    CommandId id;
    const char* shortcut;
};

inline constexpr std::array<FrameKey, 2> FrameKeys = {{
    {CommandId::NextPane, "F6"},
    {CommandId::PreviousPane, "Shift+F6"},
}};

} // namespace kestrun
