#include "decode/archive_videos.h"

#include <filesystem>

#include "decode/open_video.h"

namespace rw {

Expected<ArchiveContents> ListArchiveVideos(const std::string& archivePath, const MixNames* names) {
    DiskInputFile archive;
    if (auto r = archive.Open(archivePath); !r) return r.error();
    auto table = ReadMixTable(archive);
    if (!table) return table.error();
    archive.Close();

    ArchiveContents contents;
    contents.archive = archivePath;
    contents.declaredEntries = table->declaredEntries;
    for (const std::string& s : table->skipped) {
        contents.problems.push_back("\"" + archivePath + "\": " + s);
    }
    for (const MixEntry& entry : table->entries) {
        const VqaSource source{archivePath, entry.offset, entry.length,
                               ArchiveEntryName(archivePath, entry)};
        const VqaInspection video = InspectVideo(source, [](const VqaProperties&) {
            return std::string();  // listed whatever its values; a run judges them
        });
        switch (video.status) {
            case VqaInspection::Status::Ok:
            case VqaInspection::Status::NotConvertible:
                contents.videos.push_back(
                    {entry, source, video.properties, {}, video.kind, video.highColour});
                break;
            case VqaInspection::Status::NotVqa:
                ++contents.otherFiles;
                break;
            case VqaInspection::Status::CannotRead:
                // Nothing could be read at all: the archive itself fails.
                if (video.fileSize == 0) return Error{video.reason};
                contents.problems.push_back(video.reason);
                break;
        }
    }
    if (names) NameArchiveVideos(contents, *names);
    return contents;
}

void NameArchiveVideos(ArchiveContents& contents, const MixNames& names) {
    for (ArchiveVideo& video : contents.videos) {
        const std::string* name = names.Find(video.entry.id);
        video.name = name ? *name : std::string();
        video.source.name = ArchiveEntryName(contents.archive, video.entry, video.name);
    }
}

std::string ArchiveEntryName(const std::string& archivePath, const MixEntry& entry,
                             const std::string& name) {
    return archivePath + " entry " + std::to_string(entry.number) + " (" +
           (name.empty() ? "" : name + ", ") + "id " + MixIdText(entry.id) + ")";
}

std::string ArchiveOutputFileName(const std::string& archivePath, const MixEntry& entry) {
    return std::filesystem::path(archivePath).stem().string() + "-" + MixEntryNumberText(entry) +
           "-" + MixIdText(entry.id) + ".avi";
}

std::string ArchiveOutputFileName(const ArchiveVideo& video) {
    if (video.name.empty()) return ArchiveOutputFileName(video.source.file, video.entry);
    return MixNameStem(video.name) + ".avi";
}

std::string OtherFilesLine(const ArchiveContents& contents) {
    if (contents.otherFiles == 0) return {};
    const bool one = contents.otherFiles == 1;
    return "\"" + contents.archive + "\": " + std::to_string(contents.otherFiles) +
           (one ? " entry that is not a VQA video" : " entries that are not VQA videos") +
           " skipped";
}

}  // namespace rw
