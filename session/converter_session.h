// The desktop program's logic without its widgets: which video is loaded and where its AVI file
// goes, every refusal of a load or a start, the conversion worker's life, and the questions after a
// run. The main window shows what a ConverterSession tells its SessionView and forwards its buttons
// to it; the session's own host hands the worker's reports to the window's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "decode/video_source.h"
#include "run/output_maker.h"
#include "run/progress.h"
#include "run/properties_text.h"
#include "session/session_host.h"
#include "vqa/vqa_properties.h"

namespace rw {

class ConversionWorker;
struct ArchiveContents;

// The texts of the boxes the session opens, as the user sees them.
inline constexpr const char* kRefuseLoad =
    "You can't load a VQA-file while you convert another one.";
inline constexpr const char* kRefuseConvertNoFile =
    "You have to load a file before you can convert a VQA";
inline constexpr const char* kRefuseConvertRunning = "Already converting this file!";
inline constexpr const char* kAskTerminate = "Currently converting! Terminate process?";
inline constexpr const char* kAskMpeg =
    "VQA-Video converted into a AVI-File.\nDo you want to convert the AVI-file into a MPEG-file?";
inline constexpr const char* kAskAnother = "Do you want to convert another VQA-Video?";

// The message for a file that fails the VQA check.
std::string NotVqaMessage(const std::string& path);
// The note beside the properties of a video whose file ends before some of its frames; empty
// when every frame starts inside the file.
std::string FramesBeyondEndNote(int32_t framesBeyondEnd, int32_t frames);
// The note beside the properties of a loaded video: the FramesBeyondEndNote, then for a
// high-colour video its colour depth, frame rate and sound (as the command line's --info names
// them), one a line.
std::string VideoNote(const VqaInspection& inspection);

// What the session asks of the window. Paths are native; texts are UTF-8.
class SessionView {
  public:
    virtual ~SessionView() = default;

    // A box with an OK button (the stop icon for errors), and a Yes/No question.
    virtual void ShowMessage(const std::string& text, bool stopIcon) = 0;
    virtual bool AskYesNo(const std::string& question) = 0;
    // The file dialog for a video or an archive, the picker of an archive's videos and the folder
    // dialog; an empty path or no index when the user cancelled.
    virtual std::string ChooseFile() = 0;
    // The picker may name the archive's videos from a list of names (NameArchiveVideos).
    virtual std::optional<size_t> ChooseArchiveVideo(ArchiveContents& contents) = 0;
    virtual std::string ChooseFolder(const std::string& title) = 0;
    virtual bool CanWriteIn(const std::string& folder) = 0;

    // The fields: the file's name, its properties and size, the progress cleared.
    virtual void ShowFileName(const std::string& name) = 0;
    virtual void ShowProperties(const PropertyTexts& texts, const std::string& fileSize) = 0;
    virtual void ClearProgress() = 0;
    // A short note beside the properties (after each load; empty: none), in the warning colour
    // when it begins with a warning (frames beyond the end of the file).
    virtual void ShowNote(const std::string& note, bool warning) = 0;
    // Where a complete run's output went, under the progress (cleared with it).
    virtual void ShowOutputPath(const std::string& path) = 0;
    // The player shows the loaded video; while converting it shows the run's frames instead.
    virtual void ShowVideo(const VqaSource& video) = 0;
    virtual void SetConverting(bool converting) = 0;
    // The running conversion's progress, and a picture of the frame it converts a few times a
    // second (3 bytes a pixel, blue green red, bottom row first).
    virtual void ShowProgress(const ProgressTexts& progress) = 0;
    virtual void ShowPicture(int32_t frame, std::span<const uint8_t> bgrBottomUp, int32_t width,
                             int32_t height) = 0;
    // A run's end has been dealt with: its failure shown, or the questions after it over
    // (whatever the answers).
    virtual void RunEnded(bool completed) = 0;
    // Convert gets the focus (after every load that leaves the window open).
    virtual void FocusConvert() = 0;
    // Runs the MPEG companion with this argument list (the program first) and waits for it.
    virtual void RunCompanion(const std::vector<std::string>& arguments) = 0;
    // Closes the window; the session does nothing more afterwards.
    virtual void EndDialog(bool accepted) = 0;
};

class ConverterSession {
  public:
    // `post` runs a call on the window's thread (the worker's reports reach the session and the
    // view through it); `clock` may be null (the system clock); `companion` is the path of the
    // MPEG companion, offered after a run when such a file exists.
    ConverterSession(SessionView& view, PostCall post, ProgressClock* clock, std::string companion);
    ~ConverterSession();
    ConverterSession(const ConverterSession&) = delete;
    ConverterSession& operator=(const ConverterSession&) = delete;

    // Load File: asks for a file and loads it. OpenFile loads a given one (a drop, the command
    // line) by the same rules.
    void LoadFile();
    void OpenFile(const std::string& path);
    // Convert: starts the worker on the loaded video.
    void Convert();
    // Exit: ends the window, after asking when a run is active (which is then stopped and its
    // unfinished output removed).
    void Exit();
    // Stops an active run and removes its unfinished output, without asking (the window goes).
    void Abandon();

    // The worker's reports, on the window's thread: a failed run, a finished run (its questions
    // follow).
    void Failed(const std::string& message);
    void Finished();
    // What the session's runs report to.
    ConversionHost& Host() { return m_host; }

    // The loaded file (its name in messages) and its header values; read from any thread.
    std::string Path() const;
    VqaProperties Properties() const;
    // Where the loaded video's AVI file goes (for an archive's video, as chosen at Convert).
    std::string AviPath() const;
    // The kind of file Convert writes: null (the start) for the AVI file, else a maker that
    // outlives the runs. Its file goes where the AVI file would, with the maker's extension.
    void SetOutput(const OutputMaker* maker) { m_output = maker; }
    // Where the loaded video's output goes: the AVI path, or the same with the other extension.
    std::string OutputPath() const;

    bool IsConverting() const { return m_worker != nullptr; }
    bool IsCompleting() const { return m_completing; }
    bool IsClosed() const { return m_closed; }

  private:
    bool Busy() const { return m_worker != nullptr || m_completing; }
    void LoadChosen(const std::string& chosen);
    void LoadLooseFile(const std::string& path);
    void LoadArchiveVideo(const std::string& archive);
    void Keep(const std::string& path, const VqaProperties& properties);
    void Show(const std::string& name, const VqaInspection& inspection, int64_t size);
    bool ChooseArchiveOutput();
    void StartWorker();
    void ReleaseWorker();
    void RunCompletion();
    void End(bool accepted);

    SessionView& m_view;
    SessionHost m_host;  // outlives the worker
    ProgressClock* m_clock;
    std::string m_companion;
    const OutputMaker* m_output = nullptr;  // null: the AVI file

    std::unique_ptr<ConversionWorker> m_worker;
    mutable std::mutex m_stateMutex;
    std::string m_path;          // native path of the loaded file; guarded by m_stateMutex
    VqaProperties m_properties;  // guarded by m_stateMutex
    std::optional<VqaSource> m_archiveVideo;  // the loaded video lies inside an archive
    std::string m_archiveAviPath;             // and is converted into this file
    std::string m_sessionOutputFolder;        // chosen when an archive's folder is read-only
    bool m_completing = false;
    bool m_closed = false;
};

}  // namespace rw
