// Picks one of the VQA videos inside a MIX archive: a small dialog of its own listing each video
// with its entry, id, size and properties.
#pragma once

#include <QDialog>
#include <optional>

#include "decode/archive_videos.h"

class QTreeWidget;

namespace rw {

class ArchivePickerDlg : public QDialog {
    Q_OBJECT

  public:
    ArchivePickerDlg(const ArchiveContents& contents, QWidget* parent = nullptr);

    // The row chosen (the index into contents.videos), or -1.
    int SelectedRow() const;
    void SelectRow(int row);
    QTreeWidget* List() const { return m_list; }

  private:
    QTreeWidget* m_list = nullptr;
};

// What the main dialog asks: which video of the archive to load.
class ArchivePicker {
  public:
    virtual ~ArchivePicker() = default;
    // The index into contents.videos of the video chosen, or nothing when the user cancelled.
    virtual std::optional<size_t> PickVideo(const ArchiveContents& contents) = 0;
};

// The real dialog, modal.
class QtArchivePicker final : public ArchivePicker {
  public:
    explicit QtArchivePicker(QWidget* parent = nullptr) : m_parent(parent) {}
    std::optional<size_t> PickVideo(const ArchiveContents& contents) override;

  private:
    QWidget* m_parent;
};

}  // namespace rw
