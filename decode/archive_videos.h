// The videos inside a MIX archive: which entries are VQA videos, with their properties, and how
// their outputs are named.
#pragma once

#include <string>
#include <vector>

#include "decode/open_video.h"
#include "decode/video_source.h"
#include "mix/mix_archive.h"
#include "mix/mix_names.h"
#include "platform/expected.h"
#include "vqa/vqa_properties.h"

namespace rw {

struct ArchiveVideo {
    MixEntry entry;
    VqaSource source;
    VqaProperties properties;
    std::string name;  // the entry's name from a list of names ("INTRO.VQA"); empty: unknown
    PictureKind kind = PictureKind::EightBit;
    HighColourVideo highColour;  // kind HighColour (its frame index left empty)
};

struct ArchiveContents {
    std::string archive;                // the path as given
    uint32_t declaredEntries = 0;       // entries in the table, usable or not
    std::vector<ArchiveVideo> videos;   // in table order
    std::vector<std::string> problems;  // entries left out: damaged table entries and damaged
                                        // VQA headers, one message each naming the entry
    size_t otherFiles = 0;              // entries that are not VQA videos
};

// Reads the archive's table and the header of every entry. Fails when the archive cannot be
// opened or its table cannot be read at all (the message names the file and the problem). With
// `names`, the videos whose ids match a name get that name (NameArchiveVideos).
Expected<ArchiveContents> ListArchiveVideos(const std::string& archivePath,
                                            const MixNames* names = nullptr);
// Gives every video whose id matches one of `names` that name, in messages too.
void NameArchiveVideos(ArchiveContents& contents, const MixNames& names);

// "MOVIES.MIX entry 3 (id 1A2B3C4D)", or with the entry's name "MOVIES.MIX entry 3 (INTRO.VQA, id
// EBFD9604)": the video in messages.
std::string ArchiveEntryName(const std::string& archivePath, const MixEntry& entry,
                             const std::string& name = {});
// "MOVIES-0003-1A2B3C4D.avi": the archive's name without its extension, the entry's number in four
// digits and its id in eight hex digits. Stable and unique within the archive.
std::string ArchiveOutputFileName(const std::string& archivePath, const MixEntry& entry);
// The same for a video, or "INTRO.avi" for a video named INTRO.VQA.
std::string ArchiveOutputFileName(const ArchiveVideo& video);
// "\"MOVIES.MIX\": 2 entries that are not VQA videos skipped", or empty when there are none.
std::string OtherFilesLine(const ArchiveContents& contents);

}  // namespace rw
