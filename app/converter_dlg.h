// The program's main window: the properties of the loaded VQA file on the left, the progress of a
// running conversion on the right, Load File, Convert and Exit below.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/archive_picker_dlg.h"
#include "compressed/compressed_target.h"
#include "decode/video_source.h"
#include "session/converter_session.h"

class QLabel;
class QMenu;
class QDragEnterEvent;
class QDropEvent;
class QResizeEvent;
class QPushButton;

namespace rw {

class ArchivePicker;
class AudioOutput;
class MessageBoxes;
class OpenFileDialog;
class ProcessRunner;
class ProgressClock;
class SoundPlayer;
class VideoPanel;

// What the dialog needs from the platform. None of it is owned by the dialog.
struct DialogServices {
    MessageBoxes* messages = nullptr;
    OpenFileDialog* fileDialog = nullptr;
    SoundPlayer* sound = nullptr;
    ProcessRunner* processes = nullptr;
    // The directory the companion program and the start-up sound are looked for in, with or
    // without a trailing '/'. Empty: the directory of the running executable.
    QString programDirectory;
    // Whether OnInitDialog shows the splash screen (tests leave it out).
    bool showSplash = true;
    // The clock of the conversion's progress estimates; null for the system clock (tests).
    ProgressClock* clock = nullptr;
    // Picks a video inside a MIX archive; null: the real picker dialog.
    ArchivePicker* archivePicker = nullptr;
    // Whether new files can be made in a folder; null: asks the file system.
    std::function<bool(const QString& folder)> canWriteIn;
    // The player's sound; null plays silently.
    AudioOutput* audio = nullptr;
    // A file given on the command line, loaded once the dialog is up (after the splash).
    QString initialFile;
};

// Texts of the dialog, as the user sees them.
inline constexpr const char* kCaption =
    "Reelwright - VQA to AVI converter by the Reelwright authors";
inline constexpr const char* kAboutMenuText = "&About reelwright...";
inline constexpr const char* kFileFilter = "C&C VQA-Videodateien (*.vqa)";
inline constexpr const char* kDefaultExtension = "vqa";
// Offered by the file dialog after the VQA videos.
inline constexpr const char* kMixFileFilter = "C&C MIX-Archive (*.mix *.MIX)";
inline constexpr const char* kCompanionName = "Marrowgate.exe";
inline constexpr const char* kStartupSound = "intro.wav";
// The system-menu command of the About entry.
inline constexpr unsigned kIdmAboutBox = 0x0010;

// Widgets and wiring: the buttons go to a ConverterSession, which decides and hands the worker's
// reports to the dialog's thread; the dialog shows what it is told through the services.
class CConverterDlg : public QDialog, private SessionView {
    Q_OBJECT

  public:
    explicit CConverterDlg(const DialogServices& services, QWidget* parent = nullptr);
    ~CConverterDlg() override;

    // Window icon, context-menu entry, start-up sound and the splash screen; the dialog itself is
    // shown afterwards by the caller. Always true.
    bool OnInitDialog();

    // Handlers: Load File, Convert (also Enter), Exit (also Esc and the window's close), the
    // system-menu commands.
    void OnLoadFile();
    void OnOK();
    void OnCancel();
    void OnSysCommand(unsigned commandId);
    // Minimised painting and the drag picture are drawn by the desktop from the window icon.
    QIcon OnQueryDragIcon() const { return m_hIcon; }

    // The control with the given id (control_ids.h), or null.
    QWidget* Control(int controlId) const;
    // The text of a static field, or an empty string for an unknown id.
    QString FieldText(int controlId) const;
    // The menu shown on a right click: the About entry.
    std::unique_ptr<QMenu> CreateSystemMenu();

    // True from Convert until the worker has been released.
    bool IsConverting() const { return m_session.IsConverting(); }
    // True while the completion questions run.
    bool IsCompleting() const { return m_session.IsCompleting(); }
    // True once the dialog has ended (by Exit, the completion step or a rejected file).
    bool IsClosed() const { return m_session.IsClosed(); }
    // The directory the companion is looked for in, with a trailing '/'.
    QString ProgramDirectory() const;
    // The picture and player beside the properties.
    VideoPanel* Video() const { return m_video; }
    // The Progress group with the run's figures, in screen coordinates: boxes leave it uncovered.
    QRect ProgressArea() const;
    // Loads a file by Load File's rules without asking for it (a dropped file, the command line).
    void OnOpenFile(const QString& path);

    // Ends the dialog through Exit.
    void reject() override { OnCancel(); }

  signals:
    // The completion step has run to its end (whatever the answers).
    void completionDone();

  protected:
    // Opens the About box; virtual so tests can see the call without a modal window.
    virtual void RunAboutBox();
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void BuildControls();
    void SetField(int controlId, const QString& text);

    // SessionView
    void ShowMessage(const std::string& text, bool stopIcon) override;
    bool AskYesNo(const std::string& question) override;
    std::string ChooseFile() override;
    std::optional<size_t> ChooseArchiveVideo(ArchiveContents& contents) override;
    std::string ChooseFolder(const std::string& title) override;
    bool CanWriteIn(const std::string& folder) override;
    void ShowFileName(const std::string& name) override;
    void ShowProperties(const PropertyTexts& texts, const std::string& fileSize) override;
    void ClearProgress() override;
    void ShowNote(const std::string& note, bool warning) override;
    void ShowOutputPath(const std::string& path) override;
    void ShowVideo(const VqaSource& video) override;
    void SetConverting(bool converting) override;
    void ShowProgress(const ProgressTexts& progress) override;
    void ShowPicture(int32_t frame, std::span<const uint8_t> bgrBottomUp, int32_t width,
                     int32_t height) override;
    void RunEnded(bool completed) override;
    void FocusConvert() override;
    void RunCompanion(const std::vector<std::string>& arguments) override;
    void EndDialog(bool accepted) override;

    DialogServices m_services;
    ArchiveNames m_archiveNames;  // chosen in the archive picker, kept for the session
    QPushButton* m_btnConvert = nullptr;
    std::map<int, QWidget*> m_controls;
    QIcon m_hIcon;
    VideoPanel* m_video = nullptr;
    QWidget* m_progressBox = nullptr;
    std::vector<std::unique_ptr<CompressedOutputMaker>> m_outputMakers;  // the Output choices
    ConverterSession m_session;  // after the widgets it shows on
};

}  // namespace rw
