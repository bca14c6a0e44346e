// Picks one of the VQA videos inside a MIX archive: a small dialog of its own listing each video
// with its entry, id, size and properties, and its name once a list of names has been chosen.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "decode/archive_videos.h"
#include "mix/mix_names.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace rw {

class OpenFileDialog;

// The list of candidate names chosen with the picker's Names… button, kept while the program runs.
struct ArchiveNames {
    std::string list;  // the file the names were read from; empty: none chosen
    MixNames names;
};

class ArchivePickerDlg : public QDialog {
    Q_OBJECT

  public:
    // Without `files` and `names` the dialog has no Names… button. With them, the videos are shown
    // under the names of `names` and the button chooses another list, kept in `names`; the
    // videos of `contents` are named from it (NameArchiveVideos).
    ArchivePickerDlg(ArchiveContents& contents, QWidget* parent = nullptr,
                     OpenFileDialog* files = nullptr, ArchiveNames* names = nullptr);

    // The row chosen (the index into contents.videos), or -1.
    int SelectedRow() const;
    void SelectRow(int row);
    QTreeWidget* List() const { return m_list; }
    QPushButton* NamesButton() const { return m_namesButton; }
    // Asks for a list of names, reads it and shows the videos under their names; a list that
    // cannot be read, and the names left out of it, are said under the list.
    void ChooseNames();

  private:
    void FillRows();
    void ApplyNames();
    void ShowNamesNote(const QString& text);

    ArchiveContents& m_contents;
    OpenFileDialog* m_files;
    ArchiveNames* m_names;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_namesButton = nullptr;
    QLabel* m_namesNote = nullptr;
};

// What the main dialog asks: which video of the archive to load.
class ArchivePicker {
  public:
    virtual ~ArchivePicker() = default;
    // The index into contents.videos of the video chosen, or nothing when the user cancelled. The
    // picker may name the videos (NameArchiveVideos).
    virtual std::optional<size_t> PickVideo(ArchiveContents& contents) = 0;
};

// The real dialog, modal; with `files` and `names`, with its Names… button.
class QtArchivePicker final : public ArchivePicker {
  public:
    explicit QtArchivePicker(QWidget* parent = nullptr, OpenFileDialog* files = nullptr,
                             ArchiveNames* names = nullptr)
        : m_parent(parent), m_files(files), m_names(names) {}
    std::optional<size_t> PickVideo(ArchiveContents& contents) override;

  private:
    QWidget* m_parent;
    OpenFileDialog* m_files;
    ArchiveNames* m_names;
};

}  // namespace rw
