#include "convert/archive_videos.h"

#include <filesystem>

#include "vqa/vqa_header.h"

namespace rw {

Expected<ArchiveContents> ListArchiveVideos(const std::string& archivePath) {
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
        DiskInputFile video;
        if (auto r = OpenSource(video, source); !r) return r.error();
        const VqaHeaderResult header = ReadVqaHeader(video);
        switch (header.status) {
            case VqaHeaderResult::Status::Ok:
                contents.videos.push_back({entry, source, header.properties});
                break;
            case VqaHeaderResult::Status::NotVqa:
                ++contents.otherFiles;
                break;
            case VqaHeaderResult::Status::CannotOpen:
            case VqaHeaderResult::Status::Truncated:
                contents.problems.push_back(header.message);
                break;
        }
    }
    return contents;
}

std::string ArchiveEntryName(const std::string& archivePath, const MixEntry& entry) {
    return archivePath + " entry " + std::to_string(entry.number) + " (id " + MixIdText(entry.id) +
           ")";
}

std::string ArchiveOutputFileName(const std::string& archivePath, const MixEntry& entry) {
    return std::filesystem::path(archivePath).stem().string() + "-" + MixEntryNumberText(entry) +
           "-" + MixIdText(entry.id) + ".avi";
}

std::string OtherFilesLine(const ArchiveContents& contents) {
    if (contents.otherFiles == 0) return {};
    const bool one = contents.otherFiles == 1;
    return "\"" + contents.archive + "\": " + std::to_string(contents.otherFiles) +
           (one ? " entry that is not a VQA video" : " entries that are not VQA videos") +
           " skipped";
}

}  // namespace rw
