// The main dialog's handling of MIX archives: loading one of the videos inside an archive, and
// choosing where its AVI file goes when the archive's folder cannot be written (a game disc).
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <filesystem>

#include "app/archive_picker_dlg.h"
#include "app/converter_dlg.h"
#include "app/video_panel.h"
#include "convert/archive_videos.h"
#include "convert/convert_frames.h"
#include "platform/qt/file_dialog.h"

namespace rw {
namespace {

QString FromNative(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

bool FolderIsWritable(const QString& folder) {
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

}  // namespace

void CConverterDlg::LoadArchiveVideo(const QString& archive) {
    const auto contents = ListArchiveVideos(QFile::encodeName(archive).toStdString());
    if (!contents) {
        Message(FromNative(contents.error().message), /*stopIcon=*/true);
        return;
    }
    if (contents->videos.empty()) {
        Message(QStringLiteral("The archive \"%1\" holds no VQA videos.").arg(archive),
                /*stopIcon=*/true);
        return;
    }
    std::optional<size_t> picked;
    {
        ModalScope scope(*this);
        QtArchivePicker realPicker(this);
        ArchivePicker* picker = m_services.archivePicker ? m_services.archivePicker : &realPicker;
        picked = picker->PickVideo(*contents);
    }
    if (!picked || *picked >= contents->videos.size()) return;
    const ArchiveVideo& video = contents->videos[*picked];
    if (const std::string reason = CheckConvertible(video.properties); !reason.empty()) {
        Message(QStringLiteral("The file \"%1\" cannot be converted:\n%2")
                    .arg(FromNative(video.source.name), QString::fromStdString(reason)),
                /*stopIcon=*/true);
        return;
    }
    {
        std::lock_guard lock(m_stateMutex);
        m_strPath = video.source.name;
        m_properties = video.properties;
    }
    m_archiveVideo = video.source;
    m_archiveAviPath = ArchiveOutputFileName(video.source.file, video.entry);  // its file name
    ShowLoaded(FromNative(video.source.name), video.properties, video.entry.length);
    m_video->Load(video.source);
}

bool CConverterDlg::ChooseArchiveOutput() {
    const std::filesystem::path archive(m_archiveVideo->file);
    const std::string name = std::filesystem::path(m_archiveAviPath).filename().string();
    QString folder = FromNative(archive.parent_path().string());
    if (folder.isEmpty()) folder = QStringLiteral(".");
    const auto writable = m_services.canWriteIn ? m_services.canWriteIn : FolderIsWritable;
    if (!writable(folder)) {
        if (m_sessionOutputFolder.isEmpty()) {
            ModalScope scope(*this);
            m_sessionOutputFolder = m_services.fileDialog->GetExistingFolder(
                QStringLiteral("The folder of \"%1\" cannot be written: choose a folder for "
                               "the AVI files")
                    .arg(FromNative(archive.filename().string())));
        }
        if (m_sessionOutputFolder.isEmpty()) return false;
        folder = m_sessionOutputFolder;
    }
    m_archiveAviPath =
        (std::filesystem::path(QFile::encodeName(folder).toStdString()) / name).string();
    return true;
}

}  // namespace rw
