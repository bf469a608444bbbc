#pragma once
// The firmware upgrade: choosing the upgrade file, and the boot-loader dialogue that wakes the
// controller's boot loader, follows its erase and uploads the file one line per
// acknowledgement. It is a set of link states (9 to 14) that the link engine's ticks walk
// through; nothing here waits or keeps a clock.

#include "link/LinkEngine.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrun {

/// Texts of the upgrade, each written once. The window and the command-line tool show
/// Complete themselves when they handle the posted "upgrade finished" notice.
namespace UpgradeText {
inline constexpr const char* Waiting = "Waiting for Controller...";
inline constexpr const char* Erasing = "Erasing Flash Memory..";
inline constexpr const char* Uploading = "Uploading new code..";
inline constexpr const char* FileError = "File Error";
inline constexpr const char* CommunicationsError = "Communications Error";
inline constexpr const char* Complete = "Upgrade complete!    ";
inline constexpr const char* CompleteCaption = "Tavrel";
inline constexpr const char* NotValidFile = "%s is not a valid hex file.";
inline constexpr const char* NotValidFileCaption = "Programming File Not Valid";
/// "Start" refusing a file the boot loader could not program: the file's name, then the line
/// and the problem the full check found ("Line 120: the checksum is 3C but should be 3D").
inline constexpr const char* CannotProgram = "%s cannot be programmed: nothing was sent.\n%s.";
inline constexpr const char* NoFileSelected = "Please select an upgrade file";
} // namespace UpgradeText

/// The boot loader's side of the wire.
namespace BootLoaderWire {
inline constexpr std::string_view Wake = "\x1b"
                                         "P";         ///< ESC 'P', sent by "Start"
inline constexpr std::string_view WakeAgain = "033P"; ///< repeated until the boot loader answers
inline constexpr std::string_view LineEnd = "\n\r";   ///< LF CR after each line, a write of its own
inline constexpr std::string_view Close = "Z\n\r";    ///< after the end of programming
inline constexpr uint8_t Ready = ';';                 ///< the boot loader is awake and erases
inline constexpr uint8_t Done = 0x00;                 ///< erase finished, or line taken
inline constexpr uint8_t ProgrammingDone = 0x01;      ///< the end record has been programmed
} // namespace BootLoaderWire

/// The quick check of a chosen upgrade file: the path's first '.' has at least two characters
/// before it (it may lie in a folder name), the file opens read-only, and its first three bytes
/// are ':' and two ASCII letters or digits. The file is closed again whatever the result.
bool IsHexFile(const std::string& path);

class CodeUpload : public ExchangeHandler {
public:
    /// Registers the upgrade's states with `engine`: 9, 13 and 14 with their own tick step, 10
    /// and 12 with the engine's countdown.
    explicit CodeUpload(LinkEngine& engine);
    CodeUpload(const CodeUpload&) = delete;
    CodeUpload& operator=(const CodeUpload&) = delete;

    /// "Select file" may show its dialog only while no exchange is under way.
    bool canSelectFile() const { return engine_.isIdle(); }
    /// Takes the path the file dialog returned (empty: the dialog was cancelled). An accepted
    /// file becomes the upgrade file and its name is shown; a rejected one is reported with its
    /// name only, and the previous choice stays. Does nothing while an exchange is under way.
    void SelectUpgradeFile(const std::string& chosenPath);
    const std::string& upgradePath() const { return upgradePath_; }
    const std::string& upgradeFileName() const { return upgradeFileName_; }
    /// The folder of the last accepted file, where the dialog starts; empty when none.
    std::string dialogFolder() const;

    /// "Start": wakes the boot loader (refused with a box when the bridge is not open or no
    /// file is chosen; silent while another exchange runs). Before anything is sent the chosen
    /// file is read whole, once, and given the full Intel HEX check; a file that cannot be
    /// read, is over 64 MiB or fails the check is refused with a box naming the line and the
    /// problem, so the controller is never asked to erase for a file it cannot be given. The
    /// copy that passed is what the upload sends, whatever happens to the file meanwhile.
    void StartUpgrade();
    /// "Start" with the file's contents already read (and checked, or knowingly not: the
    /// command-line tool's --force): `image` is sent as it stands. The same guards as above
    /// but the chosen file, which need not exist.
    void StartUpgrade(std::vector<uint8_t> image);
    /// "Cancel": ends whatever exchange is pending; sends nothing to the controller.
    void CancelExchange() { engine_.CancelExchange(); }

    /// The upgrade holds the file's copy: from "Start" to the end of the upgrade.
    bool upgradeFileOpen() const { return holding_; }
    uint32_t upgradeBytesRead() const { return bytesRead_; }
    uint32_t upgradeFileLength() const { return fileLength_; }

    void onByte(LinkState state, uint8_t byte) override;
    void onTick(LinkState state) override;
    /// However the upgrade ends, the file's copy is let go.
    void onExchangeEnded() override { release(); }

private:
    bool refusedUnconnected();
    bool restIsTrailer() const { return bytesRead_ >= trailerStart_; }
    void openUpgradeFile();
    void SendNextLine();
    int readByte();
    void discardLineEnd(int endByte);
    void release();
    void sendLine();
    void showBar();
    void finish();
    void fail(const char* text);

    LinkEngine& engine_;
    LinkHost& host_;
    std::string upgradePath_;
    std::string upgradeFileName_;
    std::vector<uint8_t> image_; ///< the file as read at "Start"; what the upload sends
    bool holding_ = false;
    std::size_t trailerStart_ = 0; ///< only blank lines and comments from here on
    uint32_t fileLength_ = 0;
    uint32_t bytesRead_ = 0;
    std::string lineBuffer_;
};

} // namespace kestrun
